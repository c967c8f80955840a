#pragma once
// The preview pane's text, and the thread that makes it. Moving through the list asks for
// the selected row's preview; the thread reads the message again from its store, reads
// its MIME structure and posts the text to the dialog, so a long message never holds the
// list up. A newer request replaces an older one that has not been made yet.

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/message_rows.h"

// What the pane shows of a message: the header lines (From, To, Cc, Date in local time and
// Subject, decoded), which stay in sight; the attachments, one a row, with their sizes; and
// the body, which scrolls: the plain text, made from the HTML when there is none.
// `with_sizes` false leaves the sizes out (they need every attachment decoded). A deleted
// fragment shows its text as found. CR LF line ends; at most `body_limit` characters of the
// body.
struct preview_parts {
    std::wstring header;
    std::vector<std::wstring> attachments;
    std::wstring body;
};
preview_parts preview_text(const std::string& message, bool fragment, bool with_sizes,
                           size_t body_limit);

// An attachment of a message as the preview lists it (`index` counts from 0): the file name
// it carries (UTF-8) and its decoded bytes; none when the message has no such attachment.
struct attachment_file {
    std::string name;
    std::string bytes;
};
std::optional<attachment_file> attachment_of(const std::string& message, size_t index);

// The lines above a message's preview with what its store's folder tree and index say: the
// folder and when it was received (local time); CR LF line ends; empty when neither says.
std::wstring state_lines(const message_row& row);

// A date as the user's locale writes it, in local time.
std::wstring local_date_text(int64_t seconds);

class message_preview {
  public:
    // The thread posts `ready_message` (WPARAM: the request's number) to `window`.
    message_preview(HWND window, UINT ready_message);
    ~message_preview();
    message_preview(const message_preview&) = delete;
    message_preview& operator=(const message_preview&) = delete;

    // Asks for the preview of a row; the answer carries the number returned.
    uint64_t request(const std::wstring& store_path, const message_row& row, int engine_index);
    // Asks for the store to be scanned ahead of the first request.
    void prepare(const std::wstring& store_path);
    // Forgets the store's scan (a new run may change the store); drops what was asked.
    void forget_store();
    // The preview made for request `number`, when it is the latest one; taken once.
    std::optional<preview_parts> take(uint64_t number);

    // The most of a body the pane shows.
    static constexpr size_t body_limit = 200000;
    // How much of a message is read for its first screens.
    static constexpr size_t first_look = 1 << 20;

  private:
    struct job {
        std::wstring store_path;
        message_row row;
        int engine_index = 0;
        uint64_t number = 0;
        bool prepare_only = false;
    };
    void work();

    HWND window_;
    UINT ready_message_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::optional<job> next_;                                 // guarded by lock_
    uint64_t latest_ = 0;                                     // guarded by lock_
    bool forget_ = false;                                     // guarded by lock_
    bool ending_ = false;                                     // guarded by lock_
    std::optional<std::pair<uint64_t, preview_parts>> made_;  // guarded by lock_
    std::thread thread_;
};
