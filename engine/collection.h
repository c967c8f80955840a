#pragma once
// Where the messages of a run go. The driver hands every chain it reads to one sink: the
// dialog's list, a folder of message files, or a collection (an mbox folder, a Personal
// Folders file) that takes each message read whole with its record, in the folder a save
// run would give it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dbx/dbx.h"
#include "engine/engine.h"
#include "platform/view.h"

struct message_read;
struct recover_totals;

// One chain as the run read it, handed to the run's sink.
struct chain_taken {
    const dbx_t& store;
    int list = 0;
    int chain = 0;
    const message_read& message;
    bool usable = false;                           // read whole: it may be saved
    const chain_record* record = nullptr;          // its record, when one was made
    const dbx_index_entry* index_entry = nullptr;  // what the store's index says of it
};

// What became of a chain handed to a sink: `result` 0 listed, 1 saved, 2 failed, `file`
// where it went (for its record).
struct chain_kept {
    int result = 0;
    std::string file;
};

// Where a run's chains go.
class message_sink {
  public:
    virtual ~message_sink() = default;
    // Starts list `list` (0 messages, 1 deleted fragments) of `store`, of which `handled`
    // chains are to come: says on standard output where they go and makes what they need.
    // False, said, when none of them can go there: the run ends, and `totals` is told when
    // the output could not be written.
    virtual bool begin_list(const dbx_t& store, int list, int handled, recover_totals& totals) = 0;
    // Takes a chain of the list begun; a run that writes says its line.
    virtual chain_kept take(const chain_taken& chain, recover_totals& totals) = 0;
    // Whether take() wants the record of every usable chain.
    virtual bool wants_records() const { return false; }
    // Shows the row of the chain headed by `head` without reading it, when one is at hand.
    virtual bool row_at_hand(main_view* dialog, const dbx_t& store, int list,
                             const dbx_block_t* head) {
        return false;
    }
    // Whether the run may read the list's chains through a window read ahead.
    virtual bool reads_ahead() const { return true; }
};

class message_collection {
  public:
    using folder_id = uint32_t;
    virtual ~message_collection() = default;

    // The folder of one list of a store (0 its messages, 1 its deleted fragments);
    // `store_folder` holds the names of the store's folder from the top down, as a save run
    // names its folders. Asked for once a list has a chain; none when it cannot be made
    // (said on standard error), which ends the run.
    virtual std::optional<folder_id> folder(const std::vector<std::string>& store_folder,
                                            int list) = 0;
    // Where the folder's messages go, as the run's records and lines name it.
    virtual std::string place(folder_id folder) const = 0;
    // Adds one message, `record.bytes` exactly as an .eml file holds them. False when the
    // collection could not be written (said on standard error): the run ends there.
    virtual bool add(folder_id folder, const chain_record& record) = 0;
};

// Runs the store at `store_path` into `into`: its messages into the folder named by
// `store_folder`, its deleted fragments into that folder's list 1. `outcome->output_failed`
// tells a run that ended because the collection could not be written.
// Given `chosen`, only those chains go in. Returns 0 when the run went into the
// collection, otherwise -1. The store is opened by `open` when given; `scan` as
// recover_store's.
int collect_store(message_collection& into, const std::vector<std::string>& store_folder,
                  const char* store_path, run_outcome* outcome = nullptr,
                  const std::vector<chain_id>* chosen = nullptr,
                  const platform::source_opener* open = nullptr, scanned_store* scan = nullptr);

// Carves the stores out of a disk image and runs each into `into`, under `image_folder`
// and the store's start (carved_folder_name), or, for a store read through a file system
// (`file_systems`), its partition and path. The image is opened by `open` when given.
int collect_image(message_collection& into, const std::vector<std::string>& image_folder,
                  const char* image_path, run_outcome* outcome = nullptr,
                  const platform::source_opener* open = nullptr, bool file_systems = false);
