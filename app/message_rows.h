#pragma once
// The rows of the message list. The engine fills them on the worker thread, one cell at a
// time; the dialog shows them from its own copy on the UI thread. Rows travel between the
// two in batches: the worker gathers finished rows and hands them over a few times a
// second, with the rows' order by each column, and the dialog takes what was handed over
// when its timer fires, so neither thread waits on the other for each cell, and a sort on
// the UI thread is a copy.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One message's row. The cells are the header values exactly as the summary set them;
// next to them the From, Subject and To values decoded for people to read, when the
// summary gave them, so that the list can show either set.
struct message_row {
    std::array<std::u16string, 4> cells;                   // From, E-mail Subject, To, Date
    std::array<std::optional<std::u16string>, 3> decoded;  // From, E-mail Subject, To
    std::optional<int64_t> date;  // the Date cell read as a time, when it parses
    int list = 0;                 // 0 a message, 1 a deleted fragment
    int chain = -1;               // its chain in that list; -1 when the run did not say
    // Listed while the store was read, from the block the message begins in: the chains'
    // rows replace it once they are known.
    bool found = false;
    // What the store's index says of the message, when it names it (its flags word as
    // stored, when it was received), and the folders down to its store.
    struct index_state {
        bool indexed = false;
        uint32_t flags = 0;
        std::optional<int64_t> received;
        std::string folder;  // UTF-8, '/' between; empty when no folder tree names the store
    } state;
    // Whether the index says the message is unread; the marks of its flags (answered,
    // forwarded, flagged), or of a deleted fragment.
    bool unread() const;
    std::wstring marks() const;

    // The text of a column as the list shows it: decoded when asked and there is a
    // decoded value, else as written.
    const std::u16string& text(int column, bool decoded_text) const;
    // Reads the date anew from the cells.
    void read_cells();
};

// What a row sorts by, made once as the row arrives, so that sorting compares plain
// characters: the text folded to capitals, as the system's ordinal comparison ignoring
// case folds it.
struct row_keys {
    // From, Subject and To as written, then as the decoded view sorts them (From and To by
    // the first mailbox's display name, or its address when it has no name).
    std::array<std::u16string, 6> text;
    std::optional<int64_t> date;  // none before every date; equal dates by the Date as written
    std::u16string date_text;
    int list = 0;  // messages before deleted fragments, then by the marks shown
    std::wstring marks;
};
row_keys sort_keys_of(const message_row& row);

// The rows in the order of one column, ascending, equal rows in the engine's order; and
// by position, whether the row's key differs from the one before (where each run of equal
// rows begins, so that the descending order keeps equal rows in the engine's order too).
struct row_order {
    std::vector<int> rows;
    std::vector<char> starts;
    std::vector<uint64_t> leading;  // by position: the first characters of the row's key
};

// The orders of every sortable column, made where the rows are gathered, so that a sort
// on the window's thread only copies one.
struct row_orders {
    // 0 to 2 From, Subject and To as written; 3 to 5 the same in the decoded view; 6 the
    // Date; 7 the column of marks.
    std::array<row_order, 8> by;
    static size_t of_column(int column, bool decoded_text);
    size_t size() const { return by[0].rows.size(); }
};

// The orders of the rows `keys` stands for: `before` (the orders of the first of them, or
// none) with the rows after those merged in.
std::shared_ptr<const row_orders> ordered_rows(const std::vector<row_keys>& keys,
                                               const row_orders* before);

// A text folded for sorting: ordinal order of the result is the system's ordinal order
// ignoring case of the text.
std::u16string folded_for_sorting(const std::u16string& text);

// A cell (or its decoded value) set on a row after the row had been handed over.
struct late_cell {
    int item;
    int column;
    std::u16string text;
    bool decoded = false;
};

// What the worker hands over at once.
struct row_batch {
    std::vector<message_row> rows;
    std::vector<late_cell> cells;
    // The orders of every row handed over so far; none once a late cell changed a row.
    std::shared_ptr<const row_orders> orders;
};

class message_rows {
  public:
    // `found`: the rows are those of messages found while the store is read.
    explicit message_rows(bool found = false) : found_(found) {}

    // Worker side: the engine's view of the list.
    int count() const { return handed_count_ + static_cast<int>(pending_.size()); }
    // The rows inserted from now on show this chain.
    void chain_begins(int list, int chain) {
        source_ = {list, chain};
        source_state_ = {};
    }
    // What the index and folder tree say of the chain begun.
    void chain_state(message_row::index_state state) { source_state_ = std::move(state); }
    void insert(int index);
    void set_cell(int item, int column, const std::u16string& text);
    void set_decoded(int item, int column, const std::string& utf8);
    // Hands over the rows gathered so far when the last hand-over is long enough ago
    // (always when `now` is set).
    void hand_over(bool now = false);
    // The first rows are handed over once there are `rows` of them (or when asked to now):
    // rows that replace as many others come at once.
    void hold_first_rows(int rows) { held_rows_ = rows; }

    // UI side: takes what was handed over since the last call.
    row_batch take();
    // Forgets every row; only while no run is filling the list.
    void clear();

  private:
    static constexpr std::chrono::milliseconds hand_over_interval{100};

    bool found_ = false;
    int held_rows_ = 0;                      // worker only
    std::pair<int, int> source_{0, -1};      // worker only: the chain being listed
    message_row::index_state source_state_;  // worker only
    std::vector<message_row> pending_;       // worker only
    std::vector<late_cell> pending_cells_;
    std::vector<row_keys> keys_;                // worker only: of the rows handed over
    std::shared_ptr<const row_orders> orders_;  // worker only: theirs, none once a cell came late
    bool orders_lost_ = false;                  // worker only
    int handed_count_ = 0;
    std::chrono::steady_clock::time_point last_hand_over_{};

    std::mutex lock_;
    row_batch handed_;  // guarded by lock_
};

// The Date cell read as a point in time, when it holds a date-time.
std::optional<int64_t> row_date(const std::u16string& cell);
// The display name of the first mailbox of a From or To cell, decoded; its address when it
// has no name; none when the cell names no mailbox.
std::optional<std::u16string> row_name(const std::u16string& cell);
