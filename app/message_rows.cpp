#include "app/message_rows.h"

#include <windows.h>

#include <utility>

#include "dbx/store_index.h"
#include "header/date.h"
#include "mime/address_list.h"
#include "platform/text.h"

// A row asked for inside the rows handed over already goes to the end, as it would on
// the console: rows the dialog shows are not moved under it.
void message_rows::insert(int index) {
    hand_over();
    size_t at = index < handed_count_ ? pending_.size() : size_t(index - handed_count_);
    if (at > pending_.size()) at = pending_.size();
    message_row row;
    row.list = source_.first;
    row.chain = source_.second;
    row.found = found_;
    row.state = source_state_;
    pending_.insert(pending_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
}

void message_rows::set_cell(int item, int column, const std::u16string& text) {
    if (column < 0 || column > 3 || item < 0 || item >= count()) return;
    if (item >= handed_count_) {
        message_row& row = pending_[size_t(item - handed_count_)];
        row.cells[size_t(column)] = text;
        if (column < 3) row.decoded[size_t(column)].reset();  // its decoded value follows
    } else {
        pending_cells_.push_back({item, column, text});
    }
}

// Only From, Subject and To have decoded values.
void message_rows::set_decoded(int item, int column, const std::string& utf8) {
    if (column < 0 || column > 2 || item < 0 || item >= count()) return;
    std::u16string text = platform::utf8_to_utf16(utf8);
    if (item >= handed_count_) {
        pending_[size_t(item - handed_count_)].decoded[size_t(column)] = std::move(text);
    } else {
        pending_cells_.push_back({item, column, std::move(text), true});
    }
}

void message_rows::hand_over(bool now) {
    auto time = std::chrono::steady_clock::now();
    if (!now && time - last_hand_over_ < hand_over_interval) return;
    if (!now && handed_count_ == 0 && int(pending_.size()) < held_rows_) return;
    last_hand_over_ = time;
    if (pending_.empty() && pending_cells_.empty()) return;
    for (message_row& row : pending_) row.read_cells();
    std::lock_guard<std::mutex> hold(lock_);
    handed_count_ += static_cast<int>(pending_.size());
    for (message_row& row : pending_) handed_.rows.push_back(std::move(row));
    for (late_cell& cell : pending_cells_) handed_.cells.push_back(std::move(cell));
    pending_.clear();
    pending_cells_.clear();
}

row_batch message_rows::take() {
    std::lock_guard<std::mutex> hold(lock_);
    return std::exchange(handed_, row_batch{});
}

void message_rows::clear() {
    pending_.clear();
    pending_cells_.clear();
    handed_count_ = 0;
    held_rows_ = 0;
    source_ = {0, -1};
    source_state_ = {};
    last_hand_over_ = {};
    std::lock_guard<std::mutex> hold(lock_);
    handed_ = row_batch{};
}

const std::u16string& message_row::text(int column, bool decoded_text) const {
    if (decoded_text && column >= 0 && column < 3 && decoded[size_t(column)])
        return *decoded[size_t(column)];
    return cells[size_t(column)];
}

const std::u16string& message_row::sort_key(int column, bool decoded_text) const {
    if (decoded_text && column >= 0 && column < 3 && decoded_keys[size_t(column)])
        return *decoded_keys[size_t(column)];
    return written_keys[size_t(column)];
}

void message_row::read_cells() {
    date = row_date(cells[3]);
    for (size_t column = 0; column < 4; ++column)
        written_keys[column] = folded_for_sorting(cells[column]);
    for (size_t column = 0; column < 3; ++column) {
        std::optional<std::u16string> shown = decoded[column];
        if (column != 1) {
            std::optional<std::u16string> name = row_name(cells[column]);
            if (name) shown = std::move(name);
        }
        decoded_keys[column].reset();
        if (shown && *shown != cells[column]) decoded_keys[column] = folded_for_sorting(*shown);
    }
}

std::u16string folded_for_sorting(const std::u16string& text) {
    if (text.empty()) return text;
    std::u16string folded(text.size(), u'\0');
    int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE,
                               reinterpret_cast<const wchar_t*>(text.data()), int(text.size()),
                               reinterpret_cast<wchar_t*>(folded.data()), int(folded.size()),
                               nullptr, nullptr, 0);
    if (length != int(text.size())) return text;
    return folded;
}

std::optional<std::u16string> row_name(const std::u16string& cell) {
    if (cell.empty()) return std::nullopt;
    std::vector<mime::mailbox> mailboxes = mime::parse_address_list(platform::utf16_to_ansi(cell));
    if (mailboxes.empty()) return std::nullopt;
    const mime::mailbox& first = mailboxes.front();
    return platform::utf8_to_utf16(first.name.empty() ? first.address : first.name);
}

// The cell holds the field's bytes widened one by one; a date-time is ASCII, so anything
// else cannot be part of one and stands as a byte that no date rule accepts.
std::optional<int64_t> row_date(const std::u16string& cell) {
    std::string bytes(cell.size(), '\x7f');
    for (size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] < 0x80) bytes[i] = static_cast<char>(cell[i]);
    }
    return hdr_date_value(bytes);
}

bool message_row::unread() const {
    return state.indexed && !(state.flags & dbx_flag_read);
}

std::wstring message_row::marks() const {
    std::wstring marks;
    if (!state.indexed) return marks;
    if (state.flags & dbx_flag_replied) marks += L'\u2190';    // an arrow back: answered
    if (state.flags & dbx_flag_forwarded) marks += L'\u2192';  // an arrow on: forwarded
    if (state.flags & dbx_flag_flagged) marks += L'!';
    return marks;
}
