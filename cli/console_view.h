#pragma once
// The main dialog of the command line: it keeps the message list to print it after a
// list-only run, shows message boxes on standard error, and abandons a run after Ctrl-C.

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "platform/view.h"

class console_view : public main_view {
public:
    int item_count() override { return static_cast<int>(rows_.size()); }
    void insert_item(int index) override;
    void set_item_text(int item, int subitem, const std::u16string& text) override;
    void set_progress(int) override {}
    int message_box(const std::string& text, const std::string& title, unsigned flags) override;
    bool checkpoint() override { return !interrupted.load(); }

    // The header line and one line per row, cells as UTF-8 with tabs and control
    // characters shown as blanks.
    std::string list_text() const;
    void clear() { rows_.clear(); }

    // Set from the Ctrl-C handler.
    static std::atomic<bool> interrupted;

private:
    std::vector<std::array<std::u16string, 4>> rows_;
};
