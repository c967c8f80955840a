#pragma once
// The sinks of a run besides the collections: the dialog's list, and a folder of message
// files; and the one that hands a run's messages to a collection.

#include <optional>
#include <string>
#include <vector>

#include "engine/collection.h"
#include "platform/read.h"

class header_capture;

// The list of a run that only lists the messages: reading a chain filled its row. Rows the
// scan gathered (`rows`, when given) are shown without reading the chain again.
class listing_sink : public message_sink {
  public:
    explicit listing_sink(header_capture* rows = nullptr) : rows_(rows) {}
    bool begin_list(const dbx_t& store, int list, int handled, recover_totals& totals) override;
    chain_kept take(const chain_taken& chain, recover_totals& totals) override;
    bool row_at_hand(main_view* dialog, const dbx_t& store, int list,
                     const dbx_block_t* head) override;
    bool reads_ahead() const override { return rows_ == nullptr; }

  private:
    header_capture* rows_;
};

// A folder of message files, `folder` for the messages and its sub-folder "deleted" for the
// deleted fragments, each saved as an .eml (`mode` 1) or .msg (2) file; the store's own
// file is never replaced.
class folder_sink : public message_sink {
  public:
    folder_sink(std::string folder, int mode, const dbx_t& store);
    bool begin_list(const dbx_t& store, int list, int handled, recover_totals& totals) override;
    chain_kept take(const chain_taken& chain, recover_totals& totals) override;

  private:
    std::string folder_;
    int mode_;
    std::optional<platform::file_identity> store_;
    std::string list_folder_;  // of the list begun
};

// A collection: the store's messages go into the folder the collection gives the names of
// `store_folder`, its deleted fragments into that folder's list 1.
class collection_sink : public message_sink {
  public:
    collection_sink(message_collection& into, std::vector<std::string> store_folder)
        : into_(into), store_folder_(std::move(store_folder)) {}
    bool begin_list(const dbx_t& store, int list, int handled, recover_totals& totals) override;
    chain_kept take(const chain_taken& chain, recover_totals& totals) override;
    bool wants_records() const override { return true; }

  private:
    message_collection& into_;
    std::vector<std::string> store_folder_;
    message_collection::folder_id id_ = 0;  // of the list begun
    std::string place_;
};
