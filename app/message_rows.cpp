#include "app/message_rows.h"

#include <windows.h>

#include <algorithm>
#include <numeric>
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
    // The longer the list, the more rows go at once: each hand-over merges them into the
    // orders of all the rows before.
    auto interval = std::max<std::chrono::steady_clock::duration>(
        hand_over_interval, std::chrono::microseconds(5) * handed_count_);
    if (!now && time - last_hand_over_ < interval) return;
    if (!now && handed_count_ == 0 && int(pending_.size()) < held_rows_) return;
    last_hand_over_ = time;
    if (pending_.empty() && pending_cells_.empty()) return;
    for (message_row& row : pending_) row.read_cells();
    // The worker keeps what the rows sort by, to merge the next rows into the orders; a cell
    // set late changes a row it no longer holds, so the list then sorts by itself.
    orders_lost_ |= !pending_cells_.empty();
    if (orders_lost_) {
        keys_ = {};
        orders_.reset();
    } else {
        for (const message_row& row : pending_) keys_.push_back(sort_keys_of(row));
        orders_ = ordered_rows(keys_, orders_.get());
    }
    std::lock_guard<std::mutex> hold(lock_);
    handed_count_ += static_cast<int>(pending_.size());
    for (message_row& row : pending_) handed_.rows.push_back(std::move(row));
    for (late_cell& cell : pending_cells_) handed_.cells.push_back(std::move(cell));
    handed_.orders = orders_;
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
    keys_ = {};
    orders_.reset();
    orders_lost_ = false;
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

void message_row::read_cells() {
    date = row_date(cells[3]);
}

row_keys sort_keys_of(const message_row& row) {
    row_keys keys;
    for (size_t column = 0; column < 3; ++column) {
        keys.text[column] = folded_for_sorting(row.cells[column]);
        std::optional<std::u16string> shown = row.decoded[column];
        if (column != 1) {
            std::optional<std::u16string> name = row_name(row.cells[column]);
            if (name) shown = std::move(name);
        }
        keys.text[3 + column] =
            shown && *shown != row.cells[column] ? folded_for_sorting(*shown) : keys.text[column];
    }
    keys.date = row.date;
    keys.date_text = folded_for_sorting(row.cells[3]);
    keys.list = row.list;
    keys.marks = row.marks();
    return keys;
}

size_t row_orders::of_column(int column, bool decoded_text) {
    if (column >= 0 && column < 3) return size_t(column) + (decoded_text ? 3 : 0);
    return column == 3 ? 6 : 7;
}

namespace {

// -1, 0 or 1 as row `a` sorts before, with or after row `b` in order `by`.
int compare_rows(size_t by, const row_keys& a, const row_keys& b) {
    if (by < 6) return a.text[by].compare(b.text[by]);
    if (by == 6) {
        if (a.date.has_value() != b.date.has_value()) return a.date.has_value() ? 1 : -1;
        if (a.date && *a.date != *b.date) return *a.date < *b.date ? -1 : 1;
        return a.date_text.compare(b.date_text);
    }
    if (a.list != b.list) return a.list < b.list ? -1 : 1;
    return a.marks.compare(b.marks);
}

// The first characters of a row's key in order `by` as one number, in the same order: rows
// with different numbers compare without reading their keys.
uint64_t leading_key(size_t by, const row_keys& keys) {
    if (by == 6)
        return keys.date ? std::max<uint64_t>(1, uint64_t(*keys.date) ^ (uint64_t(1) << 63)) : 0;
    const std::u16string& text =
        by < 6 ? keys.text[by] : std::u16string(keys.marks.begin(), keys.marks.end());
    // The marks are three characters at most: with the list they fit whole.
    uint64_t number = by == 7 ? uint64_t(keys.list) << 48 : 0;
    for (size_t i = 0, shift = by == 7 ? 32 : 48; i < text.size() && i < (by == 7 ? 3 : 4);
         ++i, shift -= 16)
        number |= uint64_t(text[i]) << shift;
    return number;
}

}  // namespace

// The new rows are sorted among themselves and each goes after the rows before it that
// sort before or with it, found by halving: the rows before are compared with few of them,
// and where each run of equal rows begins changes only around the rows put in.
std::shared_ptr<const row_orders> ordered_rows(const std::vector<row_keys>& keys,
                                               const row_orders* before) {
    auto orders = std::make_shared<row_orders>();
    size_t first_new = before ? before->size() : 0;
    std::vector<int> added(keys.size() - first_new);
    for (size_t by = 0; by < orders->by.size(); ++by) {
        auto compare = [&keys, by](int a, int b) {
            return compare_rows(by, keys[size_t(a)], keys[size_t(b)]);
        };
        auto less = [&compare](int a, int b) { return compare(a, b) < 0; };
        std::iota(added.begin(), added.end(), int(first_new));
        std::stable_sort(added.begin(), added.end(), less);
        static const row_order none;
        const row_order& old = before ? before->by[by] : none;
        row_order& order = orders->by[by];
        order.rows.reserve(keys.size());
        order.starts.reserve(keys.size());
        order.leading.reserve(keys.size());
        // A row put in after another than the one before it in the old order has its start
        // found anew.
        auto put = [&](int row, uint64_t leading, std::optional<char> start) {
            if (!start) {
                start = order.rows.empty() || order.leading.back() != leading ||
                        compare(order.rows.back(), row) != 0;
            }
            order.rows.push_back(row);
            order.starts.push_back(*start);
            order.leading.push_back(leading);
        };
        auto put_old = [&](size_t at) {
            bool moved = at > 0 && order.rows.back() != old.rows[at - 1];
            put(old.rows[at], old.leading[at],
                moved ? std::nullopt : std::optional<char>(old.starts[at]));
        };
        size_t taken = 0;  // of the old order
        for (int row : added) {
            uint64_t leading = leading_key(by, keys[size_t(row)]);
            // The first old row after the new one: a greater number, or an equal one and a
            // key after it.
            size_t low = taken, high = old.rows.size();
            while (low < high) {
                size_t middle = low + (high - low) / 2;
                bool after = old.leading[middle] != leading ? old.leading[middle] > leading
                                                            : compare(old.rows[middle], row) > 0;
                if (after) {
                    high = middle;
                } else {
                    low = middle + 1;
                }
            }
            for (; taken < low; ++taken) put_old(taken);
            put(row, leading, std::nullopt);
        }
        for (; taken < old.rows.size(); ++taken) put_old(taken);
    }
    return orders;
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
