#pragma once
// Messages of the list opened in the system's mail program. A row's message is read
// again from its store, through the same scan and chain reader that listed it, and
// written to a read-only temporary .eml file; the files go when the program ends.

#include <windows.h>

#include <string>
#include <vector>

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
    // Forgets the scan kept from the last opening (a new run may change the store).
    void forget_store() { source_.forget_store(); }
    void remove_files();

  private:
    std::wstring folder();

    message_source source_;
    std::wstring folder_;
    std::vector<std::wstring> files_;
};
