#include "cli/console_view.h"

#include <cstdio>

#include "platform/text.h"

std::atomic<bool> console_view::interrupted{false};

void console_view::insert_item(int index) {
    if (index < 0 || index > item_count()) index = item_count();
    rows_.insert(rows_.begin() + index, std::array<std::u16string, 4>{});
}

void console_view::set_item_text(int item, int subitem, const std::u16string& text) {
    if (item < 0 || item >= item_count() || subitem < 0 || subitem > 3) return;
    rows_[item][subitem] = text;
}

int console_view::message_box(const std::string& text, const std::string& title, unsigned flags) {
    size_t end = text.find_last_not_of(' ');
    std::fprintf(stderr, "%s\n", text.substr(0, end == std::string::npos ? 0 : end + 1).c_str());
    std::fflush(stderr);
    return 1;  // IDOK
}

namespace {

std::string cell_text(const std::u16string& cell) {
    std::u16string shown = cell;
    for (char16_t& c : shown) {
        if (c < 0x20 || c == 0x7F) c = u' ';
    }
    return platform::utf16_to_utf8(shown);
}

}  // namespace

std::string console_view::list_text() const {
    std::string text = "From\tE-mail Subject\tTo\tDate\n";
    for (const auto& row : rows_) {
        text += cell_text(row[0]) + "\t" + cell_text(row[1]) + "\t" + cell_text(row[2]) + "\t" +
                cell_text(row[3]) + "\n";
    }
    return text;
}
