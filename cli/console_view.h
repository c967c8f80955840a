#pragma once
// The main dialog of the command line: it keeps the message list to print it after a
// list-only run, shows message boxes on standard error, and abandons a run after Ctrl-C.
// Runs add rows at the end and fill the last one, so a row is final once the next one
// comes: it is kept as its line of text from then on, which keeps a list of millions of
// messages small.

#include <array>
#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory.h"
#include "platform/view.h"

class console_view : public main_view {
  public:
    int item_count() override { return finished_rows_ + (has_last_row_ ? 1 : 0); }
    void insert_item(int index) override;
    void set_item_text(int item, int subitem, const std::u16string& text) override;
    void set_item_ansi_text(int item, int subitem, std::string_view bytes) override;
    void set_progress(int) override {}
    int message_box(const std::string& text, const std::string& title, unsigned flags) override;
    bool checkpoint() override { return !interrupted.load(); }

    // The header line and one line per row, cells as UTF-8 with tabs and control
    // characters (C0, DEL and C1) shown as blanks.
    void write_list(FILE* out) const;
    void clear();

    // Set from the Ctrl-C handler.
    static std::atomic<bool> interrupted;

  private:
    void finish_last_row();
    bool is_last_row_cell(int item, int subitem) const;

    // The lines of the finished rows, in pieces of a few megabytes: one string growing to
    // the size of a long list would be copied whole each time it grows.
    struct text_piece {
        platform::page_memory memory;
        size_t used;
    };
    std::vector<text_piece> finished_text_;
    int finished_rows_ = 0;
    std::array<std::string, 4> last_row_;  // the cells as they are printed
    bool has_last_row_ = false;
};
