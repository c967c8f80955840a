#pragma once
// Messages collected into mbox files (the mboxrd form): FOLDER/<store folder>.mbox for a
// store's messages and FOLDER/<store folder> (deleted).mbox for its deleted fragments,
// a store's folders above it made as folders. Each file is whole or not there: written
// under a temporary name, dated with its newest message's date and renamed when its store
// is done.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/collection.h"
#include "engine/whole_file.h"

// What the line that opens a message tells: the sender's bare address and the message's
// date, read from its header as its item reads them.
struct mbox_sender {
    std::optional<std::string> address;  // none when the header gives none fit for the line
    std::optional<int64_t> date;
};
mbox_sender mbox_sender_of(std::string_view message);

// The line that opens a message in an mbox file: "From <sender's address or
// MAILER-DAEMON> <the date as asctime writes it, in UTC, or that of 0>\n".
std::string mbox_from_line(const mbox_sender& sender);

// The message as an mbox file holds it, after its "From " line: every line matching
// ^>*From  gets one more '>', the last line gets a line end if it has none, and an empty
// line follows.
std::string mbox_body(std::string_view message);

class mbox_collection : public message_collection {
  public:
    // `folder`: FOLDER, made already.
    explicit mbox_collection(std::string folder);
    ~mbox_collection() override;

    std::optional<folder_id> folder(const std::vector<std::string>& store_folder,
                                    int list) override;
    std::string place(folder_id folder) const override;
    bool add(folder_id folder, const chain_record& record) override;

    // Completes the files of the last store; false when one could not be completed.
    bool finish();

    // Each message the store's index names gets the lines of its state before its header.
    bool status_lines = false;

  private:
    struct mbox_file {
        std::vector<std::string> store_folder;
        whole_file file;
        std::optional<int64_t> newest;  // the newest date of its messages
    };

    std::string unique_path(const std::string& relative);

    std::string folder_;
    std::map<folder_id, std::unique_ptr<mbox_file>> open_;  // the files of the store being run
    std::vector<std::string> taken_;   // the names given, relative to FOLDER, without ".mbox"
    std::vector<std::string> places_;  // by folder id
};
