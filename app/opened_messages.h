#pragma once
// Messages of the list opened in the system's mail program, and their attachments in the
// programs of their kinds. A row's message is read again from its store, through the same
// scan and chain reader that listed it, and written to a read-only temporary file (an
// attachment in a folder of its own, under the name it carries); the files go when the
// program ends.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/message_preview.h"
#include "app/message_source.h"

class opened_messages {
  public:
    opened_messages() = default;
    opened_messages(const opened_messages&) = delete;
    opened_messages& operator=(const opened_messages&) = delete;
    ~opened_messages() { remove_files(); }

    // Writes the message of a row of the store (see message_source::read) to a temporary
    // file. The file's path, or empty with `error` set.
    std::wstring write(const std::wstring& store_path, const message_row& row, int engine_index,
                       std::wstring& error);
    // The attachment `attachment` (see attachment_of) of a row's message: read again from the
    // store; none with `error` set.
    std::optional<attachment_file> read_attachment(const std::wstring& store_path,
                                                   const message_row& row, int engine_index,
                                                   size_t attachment, std::wstring& error);
    // Writes it to a temporary file; the file's path, or empty with `error` set. The same
    // attachment asked for again is the file written before.
    std::wstring write_attachment(const std::wstring& store_path, const message_row& row,
                                  int engine_index, size_t attachment, std::wstring& error);
    // Forgets the scan kept from the last opening (a new run may change the store).
    void forget_store() { source_.forget_store(); }
    void remove_files();

  private:
    std::wstring folder();
    // Writes `bytes` to a new read-only file at `path`; true when it is there whole (or was
    // written before).
    bool write_file(const std::wstring& path, const std::string& bytes);

    message_source source_;
    std::wstring folder_;
    std::vector<std::wstring> files_;
    std::vector<std::wstring> folders_;  // the attachments' own folders
};
