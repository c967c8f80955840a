#pragma once
// Reads one listed message again from its store, through the same scan and chain reader
// that listed it. The scan is kept, so the next message of the same store reads at once;
// the file itself is closed between readings, so the store is never held open while the
// user works. One reader per thread.

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "app/message_rows.h"
#include "dbx/dbx.h"
#include "engine/read_message.h"

class message_source {
  public:
    message_source() = default;
    message_source(const message_source&) = delete;
    message_source& operator=(const message_source&) = delete;

    // Reads the message of `row` (`engine_index` is its place in the order the run listed
    // the messages, for a row that does not know its chain). The row's cells make sure the
    // message read is the one listed. Nothing, with `error` set, when it cannot be read.
    std::optional<message_read> read(const std::wstring& store_path, const message_row& row,
                                     int engine_index, std::wstring& error);
    // The message's first `bytes` bytes or more (the whole message when it is shorter), for
    // a first look; checked against the row and failing as read() does.
    std::optional<std::string> read_start(const std::wstring& store_path, const message_row& row,
                                          int engine_index, size_t bytes, std::wstring& error);
    // Scans the store now, so that its first message reads at once; false when it cannot.
    bool prepare(const std::wstring& store_path);
    // Forgets the scan (a new run may change the store).
    void forget_store() { store_.reset(); }

  private:
    struct store_closer {
        void operator()(dbx_t* store) const;
    };
    bool have_store(const std::wstring& store_path);
    // Opens the store, finds the row's chain and hands it to `read`, which fills `cells`
    // with the row it reads; false, with `error` set, when the message read is not the
    // row's.
    template <class Reader>
    bool read_row(const std::wstring& store_path, const message_row& row, int engine_index,
                  std::wstring& error, Reader read);

    std::wstring store_path_;
    std::unique_ptr<dbx_t, store_closer> store_;  // scanned; its file closed between readings
};
