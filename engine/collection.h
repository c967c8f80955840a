#pragma once
// Runs whose messages go into one collection (an mbox folder, a Personal Folders file)
// instead of a file each. The run reads as a save run reads; each message read whole is
// handed to the collection with its record, in the folder a save run would give it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"

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
// collection, otherwise -1. The store is opened by `open` when given.
int collect_store(message_collection& into, const std::vector<std::string>& store_folder,
                  const char* store_path, run_outcome* outcome = nullptr,
                  const std::vector<chain_id>* chosen = nullptr,
                  const platform::source_opener* open = nullptr);

// Carves the stores out of a disk image and runs each into `into`, under `image_folder`
// and the store's start (carved_folder_name). The image is opened by `open` when given.
int collect_image(message_collection& into, const std::vector<std::string>& image_folder,
                  const char* image_path, run_outcome* outcome = nullptr,
                  const platform::source_opener* open = nullptr);
