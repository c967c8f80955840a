#include "cli/console_view.h"

#include <algorithm>
#include <cstdio>

#include "platform/memory.h"
#include "platform/text.h"

std::atomic<bool> console_view::interrupted{false};

// Every row goes to the end of the list, wherever it was asked for.
void console_view::insert_item(int) {
    finish_last_row();
    for (std::string& cell : last_row_) cell.clear();
    has_last_row_ = true;
}

namespace {

// C0 and C1 controls (among them the terminal's escape, CSI and OSC) and DEL.
bool is_control(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// A cell as UTF-8 at the end of `out`. Runs of ASCII go over as they are, controls made
// blanks; the other characters go through the converter a run at a time.
void append_cell(std::string& out, std::u16string_view cell) {
    for (size_t at = 0; at < cell.size();) {
        size_t end = at;
        while (end < cell.size() && cell[end] < 0x80) ++end;
        for (; at < end; ++at) out += is_control(cell[at]) ? ' ' : static_cast<char>(cell[at]);
        while (end < cell.size() && cell[end] >= 0x80 && !is_control(cell[end])) ++end;
        if (end > at) {
            out += platform::utf16_to_utf8(cell.substr(at, end - at));
            at = end;
        } else if (at < cell.size()) {  // a C1 control
            out += ' ';
            ++at;
        }
    }
}

}  // namespace

// Only the last row can still change.
bool console_view::is_last_row_cell(int item, int subitem) const {
    return has_last_row_ && item == finished_rows_ && subitem >= 0 && subitem <= 3;
}

void console_view::set_item_text(int item, int subitem, const std::u16string& text) {
    if (!is_last_row_cell(item, subitem)) return;
    last_row_[subitem].clear();
    append_cell(last_row_[subitem], text);
}

// ASCII reads the same in every ANSI code page, so such a cell goes over as it is, controls
// made blanks; any other goes through the code page.
void console_view::set_item_ansi_text(int item, int subitem, std::string_view bytes) {
    if (!is_last_row_cell(item, subitem)) return;
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string& cell = last_row_[subitem];
    cell.resize(bytes.size());
    unsigned char seen = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        seen |= byte;
        cell[i] = is_control(byte) ? ' ' : char(byte);
    }
    if (seen < 0x80) return;
    cell.clear();
    append_cell(cell, platform::ansi_to_utf16(bytes));
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

size_t row_length(const std::array<std::string, 4>& row) {
    size_t length = row.size();  // a tab after each cell but the last, which ends the line
    for (const std::string& cell : row) length += cell.size();
    return length;
}

// Writes the row's line at `out`, which has room for it.
void write_row(unsigned char* out, const std::array<std::string, 4>& row) {
    for (size_t column = 0; column < row.size(); ++column) {
        out = std::copy(row[column].begin(), row[column].end(), out);
        *out++ = column + 1 < row.size() ? '\t' : '\n';
    }
}

}  // namespace

// The list is kept in pieces of a few mebibytes, so that it never moves as a whole; a row
// longer than a piece gets one of its own.
void console_view::finish_last_row() {
    if (!has_last_row_) return;
    constexpr size_t piece = size_t(4) << 20;
    size_t length = row_length(last_row_);
    if (finished_text_.empty() ||
        finished_text_.back().memory.size() - finished_text_.back().used < length)
        finished_text_.push_back({platform::page_memory(std::max(piece, length)), 0});
    text_piece& text = finished_text_.back();
    write_row(text.memory.data() + text.used, last_row_);
    text.used += length;
    ++finished_rows_;
    has_last_row_ = false;
}

void console_view::write_list(FILE* out) const {
    // A reader that has stopped reading (a pipe nobody empties) must not hold an
    // interrupted run: the list ends at the first failed write or once the run is stopped.
    auto stopped = [&] { return interrupted || std::ferror(out); };
    std::fputs("From\tE-mail Subject\tTo\tDate\n", out);
    for (const text_piece& text : finished_text_) {
        if (stopped()) return;
        std::fwrite(text.memory.data(), 1, text.used, out);
    }
    if (has_last_row_ && !stopped()) {
        std::string last(row_length(last_row_), '\0');
        write_row(reinterpret_cast<unsigned char*>(last.data()), last_row_);
        std::fwrite(last.data(), 1, last.size(), out);
    }
}
