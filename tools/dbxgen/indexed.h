#pragma once
// Stores as Outlook Express wrote them: the file header, the file info, the message info
// objects and the tree that points at them; Folders.dbx with its folder info objects; and
// the damaged forms an index takes. The layout follows docs/DBX-INDEX.md.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/dbxgen/dbxgen.h"

namespace dbxgen {

inline constexpr uint32_t file_header_size = 0x24bc;
inline constexpr uint32_t message_file_info_size = 0x618;
inline constexpr uint32_t folders_file_info_size = 0x108;
inline constexpr uint32_t tree_node_size = 0x27c;
inline constexpr unsigned tree_node_entries = 0x33;  // the most a node holds

// What a message info object says of one message.
struct indexed_message {
    uint32_t first_block = 0;  // 0: the info object names no message
    uint32_t index_number = 0;
    uint32_t flags = 0;
    uint64_t sent = 0, received = 0, saved = 0;  // FILETIME; 0: not stored
    int priority = 0;                            // 0: not stored
    std::string subject, sender_name, sender_address, message_id, account;
};

// What a folder info object of Folders.dbx says of one folder.
struct folder_entry {
    uint32_t id = 0, parent_id = 0;
    std::string name, file_name;  // no file name: a container
    uint32_t special = 0;         // 1 Inbox, 2 Outbox, 3 Sent Items, 4 Deleted Items, 5 Drafts
    uint32_t account_kind = 3;    // 0 news, 1 IMAP, 3 local folders
};

// The ways an index is damaged.
enum class index_damage {
    none,
    cut_tree,        // a child of the root lies past the end of the file
    looping_nodes,   // a leaf names the root as its child
    oversized_node,  // the root states more entries than a node holds
    lying_count,     // the file header states five messages more than the tree holds
    freed_target,    // an info object names a freed block as its message
    stray_value,     // a tree value points at a message block, not at an info object
    cut_file,        // the file ends inside the tree's last node
};
const char* damage_name(index_damage damage);
// The damage called `name`; false when there is none of that name.
bool damage_named(const std::string& name, index_damage& damage);

// The info objects and the tree over them, laid out from `at` (a multiple of 4).
struct index_layout {
    uint32_t root = 0;
    std::vector<uint32_t> infos;  // in the order of the values
    std::vector<uint32_t> nodes;  // the root first
    uint64_t end = 0;
};
// Tree values with at most `fanout` entries a node (a tree of several levels for a small
// fanout), in order, after their info objects.
index_layout put_message_index(store_image& image, uint64_t at,
                               const std::vector<indexed_message>& messages, unsigned fanout);
index_layout put_folder_index(store_image& image, uint64_t at,
                              const std::vector<folder_entry>& folders, unsigned fanout);
// The file header and file info of a message store (`folder_name` in its file info) or of
// Folders.dbx, with the tree's root and item count.
void put_file_header(store_image& image, bool folders, uint32_t items, uint32_t root,
                     const std::string& folder_name);

// What indexed_store makes.
struct indexed_store_options {
    uint64_t seed = 1;
    int messages = 10;  // live messages
    int deleted = 2;    // freed fragments
    unsigned fanout = 3;
    index_damage damage = index_damage::none;
    int unindexed = 0;  // live messages, the last ones, the index does not name
    // Indexed messages, the last ones the index names, whose blocks were overwritten with
    // zeros: the index names messages the blocks lack.
    int vanished = 0;
    uint32_t flags = 0;  // set on every message besides its own state (0x8 a draft, 0x80 read)
    std::string folder_name = "Inbox";  // in the file info
    std::string account = "Mail";
};
// A store of short messages laid one after the other after the file info, then its
// fragments, then the index. `index` receives what the index says when sound (before any
// damage), in tree order.
store_image indexed_store(const indexed_store_options& options,
                          std::vector<indexed_message>* index = nullptr);

// Folders.dbx for `folders`; with `parent_loop` the first two folders with a file name each
// other as parent. The folders from `second_tree` on go into a second tree, whose root
// follows the first's in the header.
store_image folders_file(std::vector<folder_entry> folders, bool parent_loop = false,
                         size_t second_tree = SIZE_MAX);

// What the index of write_store's message says of it: its fields from the message's
// header, its state from `random`.
indexed_message describe_message(const std::string& text, uint32_t first_block,
                                 uint32_t index_number, random_source& random);

// An identity's store folder: 12 stores in nested folders (one renamed, one with a cut
// index, one whose index lacks three live messages, one whose index names two messages
// whose blocks were overwritten, deleted messages in several) and Folders.dbx. Writes into
// `folder`, which must exist; one line a store on `report`.
bool write_identity(const std::string& folder, FILE* report);

}  // namespace dbxgen
