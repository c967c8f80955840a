#pragma once
// Messages of the list opened in the system's mail program. A row's message is read
// again from its store, through the same scan and chain reader that listed it, and
// written to a read-only temporary .eml file; the files go when the program ends.

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dbx/dbx.h"

class opened_messages {
  public:
    opened_messages() = default;
    opened_messages(const opened_messages&) = delete;
    opened_messages& operator=(const opened_messages&) = delete;
    ~opened_messages() { remove_files(); }

    // Writes message `row` (its place in the order the run listed the messages) of the
    // store to a temporary file; `cells` are the row's cells, to make sure the message
    // read is the one listed. The file's path, or empty with `error` set.
    std::wstring write(const std::wstring& store_path, int row,
                       const std::array<std::u16string, 4>& cells, std::wstring& error);
    // Forgets the scan kept from the last opening (a new run may change the store).
    void forget_store() { store_.reset(); }
    void remove_files();

  private:
    struct store_closer {
        void operator()(dbx_t* store) const;
    };
    bool have_store(const std::wstring& store_path);
    std::wstring folder();

    std::wstring store_path_;
    std::unique_ptr<dbx_t, store_closer> store_;  // scanned; its file closed between openings
    std::wstring folder_;
    std::vector<std::wstring> files_;
};
