#pragma once
// Messages collected into one Personal Folders file: below the top of its personal folders
// a folder per store, named as a save run names the store's folder (a store folder's
// folders nested, a carved store under its image's folder; a store named as one of
// Outlook's special folders, "Deleted Items" say, the file's own folder of that name),
// each with a sub-folder "deleted" for its deleted fragments. Every message is the item its
// .msg file holds. The file is whole or not there: written under a temporary name, renamed
// when finished.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/collection.h"
#include "engine/whole_file.h"
#include "pst/output.h"
#include "pst/writer.h"

class pst_collection : public message_collection, private pst::pst_output {
  public:
    pst_collection();
    ~pst_collection() override;

    // Starts the file `path` (UTF-8); `identity` (the inputs as given) makes the store's
    // record key, so the same run gives the same file. A file standing under the name is
    // replaced only when `replace_existing` says so. False, said, when it cannot be made.
    bool open(const std::string& path, const std::string& identity,
              bool replace_existing = platform::run_outputs.replace_existing);

    std::optional<folder_id> folder(const std::vector<std::string>& store_folder,
                                    int list) override;
    std::string place(folder_id folder) const override;
    bool add(folder_id folder, const chain_record& record) override;

    // Completes the file and gives it its name; false, said, when that fails.
    bool finish();

  private:
    bool write_at(uint64_t offset, std::string_view bytes) override;
    bool failed_write();

    whole_file file_;
    uint64_t position_ = 0;  // where the next byte written goes
    std::unique_ptr<pst::pst_writer> writer_;
    std::map<std::vector<std::string>, folder_id> folders_;  // by the names from the top
    std::map<folder_id, std::string> places_;
};
