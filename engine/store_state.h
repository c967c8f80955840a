#pragma once
// What a store's own index and its folder's Folders.dbx add to the chains the scan found.
// The scan decides what exists and gives every byte; the index only adds its facts (read,
// replied, flagged, when a message arrived, the account) to the chains it names, and names
// the messages whose blocks the scan did not find.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/dbx.h"
#include "dbx/folders_file.h"
#include "dbx/store_index.h"
#include "item/state.h"

class store_state {
  public:
    store_state() = default;
    // Joins each entry of `index` to the chain of `store` whose first block is the entry's
    // (a message's chain before a deleted fragment's); an entry that names the first block of
    // a chain another entry named already is passed over, and so is an entry that names no
    // message block (a header whose body was never downloaded).
    store_state(const dbx_t& store, dbx_store_index index);

    // Whether the store has an index that could be read: a chain it does not name is then a
    // finding.
    bool indexed() const { return index_.present; }
    // What the index says of chain `chain` of list `list`; null when it does not name it.
    const dbx_index_entry* entry_of(int list, int chain) const;
    // The entries whose first block heads no chain the scan found, in the index's order.
    std::vector<const dbx_index_entry*> missing() const;
    // Why the index was read only in part; empty when it was sound.
    const std::string& note() const { return index_.note; }

  private:
    dbx_store_index index_;
    std::vector<int> entries_[2];  // by chain of each list: the entry's place, -1 for none
    std::vector<size_t> missing_;  // places of the entries whose blocks were not found
};

// The state an item takes from an entry of the index.
item::message_state item_state_of(const dbx_index_entry& entry);

// The named bits of an entry's flags, by name, between blanks ("read replied"); a bit
// without a name as its hexadecimal value.
std::string index_flag_names(uint32_t flags);

// The lines an mbox reader takes a message's state from, before the message's own header:
// "Status: RO" for a read message ("O" for an unread one) and "X-Status:" with A for
// answered and F for flagged, when either is, each ended as the message's first line is.
std::string mbox_status_lines(const dbx_index_entry& entry, std::string_view message);

// Seconds since 1970 of a FILETIME; none for 0.
std::optional<int64_t> seconds_of_filetime(uint64_t filetime);

// Text of the store as stored (the system's code page) as UTF-8.
std::string stored_text(std::string_view bytes);

// The Folders.dbx in the folder of the store at `store_path` (its name in any case), read;
// none when there is none. `tree_path` receives its path.
std::optional<dbx_folder_tree> folder_tree_beside(const std::string& store_path,
                                                  std::string* tree_path = nullptr);

// The display names of the folders from the top down to the store at `store_path`, as
// `tree` names them (UTF-8); empty when the tree does not name the store.
std::vector<std::string> store_folder_path(const dbx_folder_tree& tree,
                                           const std::string& store_path);
