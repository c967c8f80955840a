#include "cli/console_view.h"

#include <cstdio>

#include "platform/text.h"

std::atomic<bool> console_view::interrupted{false};

// Every row goes to the end of the list, wherever it was asked for.
void console_view::insert_item(int) {
    finish_last_row();
    last_row_ = {};
    has_last_row_ = true;
}

// Only the last row can still change.
void console_view::set_item_text(int item, int subitem, const std::u16string& text) {
    if (!has_last_row_ || item != finished_rows_ || subitem < 0 || subitem > 3) return;
    last_row_[subitem] = text;
}

void console_view::clear() {
    finished_text_.clear();
    finished_rows_ = 0;
    has_last_row_ = false;
}

int console_view::message_box(const std::string& text, const std::string& title, unsigned flags) {
    size_t end = text.find_last_not_of(' ');
    std::fprintf(stderr, "%s\n", text.substr(0, end == std::string::npos ? 0 : end + 1).c_str());
    std::fflush(stderr);
    return 1;  // IDOK
}

namespace {

// C0 and C1 controls (among them the terminal's escape, CSI and OSC) and DEL.
bool is_control(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

std::string cell_text(const std::u16string& cell) {
    std::u16string shown = cell;
    for (char16_t& c : shown) {
        if (is_control(c)) c = u' ';
    }
    return platform::utf16_to_utf8(shown);
}

std::string row_text(const std::array<std::u16string, 4>& row) {
    return cell_text(row[0]) + "\t" + cell_text(row[1]) + "\t" + cell_text(row[2]) + "\t" +
           cell_text(row[3]) + "\n";
}

}  // namespace

void console_view::finish_last_row() {
    if (!has_last_row_) return;
    constexpr size_t piece = size_t(1) << 20;
    std::string line = row_text(last_row_);
    if (finished_text_.empty() || finished_text_.back().size() + line.size() > piece) {
        finished_text_.emplace_back().reserve(piece);
    }
    finished_text_.back() += line;
    ++finished_rows_;
    has_last_row_ = false;
}

void console_view::write_list(FILE* out) const {
    std::fputs("From\tE-mail Subject\tTo\tDate\n", out);
    for (const std::string& text : finished_text_) std::fwrite(text.data(), 1, text.size(), out);
    if (has_last_row_) std::fputs(row_text(last_row_).c_str(), out);
}
