#include "cli/console_view.h"

#include <cstdio>

#include "platform/memory.h"
#include "platform/text.h"

std::atomic<bool> console_view::interrupted{false};

// Every row goes to the end of the list, wherever it was asked for.
void console_view::insert_item(int) {
    finish_last_row();
    for (std::u16string& cell : last_row_) cell.clear();
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

// A cell as UTF-8 at the end of `out`. Runs of ASCII go over as they are, controls made
// blanks; the other characters go through the converter a run at a time.
void append_cell(std::string& out, const std::u16string& cell) {
    for (size_t at = 0; at < cell.size();) {
        size_t end = at;
        while (end < cell.size() && cell[end] < 0x80) ++end;
        if (end > at) {
            size_t was = out.size();
            out.resize(was + (end - at));
            for (size_t i = at; i < end; ++i) out[was + i - at] = is_control(cell[i]) ? ' ' : static_cast<char>(cell[i]);
            at = end;
            continue;
        }
        while (end < cell.size() && cell[end] >= 0x80 && !is_control(cell[end])) ++end;
        if (end == at) {  // a C1 control
            out += ' ';
            ++at;
            continue;
        }
        out += platform::utf16_to_utf8(std::u16string_view(cell).substr(at, end - at));
        at = end;
    }
}

void append_row(std::string& out, const std::array<std::u16string, 4>& row) {
    for (size_t column = 0; column < row.size(); ++column) {
        append_cell(out, row[column]);
        out += column + 1 < row.size() ? '\t' : '\n';
    }
}

}  // namespace

// The list is kept in pieces of a few mebibytes, so that it never moves as a whole. A
// piece is filled from start to end, so it takes large pages where it can.
void console_view::finish_last_row() {
    if (!has_last_row_) return;
    constexpr size_t piece = size_t(4) << 20;
    if (finished_text_.empty() || finished_text_.back().size() >= piece) {
        std::string& text = finished_text_.emplace_back();
        text.reserve(piece + piece / 8);
        platform::prefer_large_pages(text.data(), text.capacity());
    }
    append_row(finished_text_.back(), last_row_);
    ++finished_rows_;
    has_last_row_ = false;
}

void console_view::write_list(FILE* out) const {
    std::fputs("From\tE-mail Subject\tTo\tDate\n", out);
    for (const std::string& text : finished_text_) std::fwrite(text.data(), 1, text.size(), out);
    if (has_last_row_) {
        std::string last;
        append_row(last, last_row_);
        std::fputs(last.c_str(), out);
    }
}
