#pragma once
// The message list as the dialog shows it: the rows taken from the worker, in the order
// of the column the user sorted by, and the list-view control that draws them on demand
// (an owner-data list: the control holds no text, it asks for the cells it paints).

// The column that marks deleted fragments, shown before From.
constexpr int fragment_column = 4;
// Its mark.
constexpr wchar_t fragment_mark[] = L"\u2020";
// The width the column shown last keeps however narrow the list, at 96 dots per inch: the
// Date's width at the start. With the others' widths it fits the list at the window's
// smallest size, a vertical scroll bar beside.
constexpr int last_column_smallest = 160;

// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/framework/controls.h"
#include "app/message_rows.h"

class message_list {
  public:
    explicit message_list(CListCtrl& control) : control_(control) {}
    ~message_list();
    message_list(const message_list&) = delete;
    message_list& operator=(const message_list&) = delete;

    // Empties the list and the control, and forgets the sort.
    void clear();
    // Adds what the worker handed over and tells the control the new count. Rows of chains
    // replace every found row listed, in one step: the sort stays, the choice goes.
    void add(row_batch batch);
    // True when the rows listed are found ones, listed while the store was read.
    bool shown_found() const { return !rows_.empty() && rows_.front().found; }
    int size() const { return static_cast<int>(rows_.size()); }
    // How many rows are messages, and how many deleted fragments.
    int messages() const { return size() - fragments_; }
    int fragments() const { return fragments_; }
    // The row shown at a position, and its place in the order the engine gave the rows.
    const message_row& shown(int position) const { return rows_[size_t(order_[size_t(position)])]; }
    int engine_index(int position) const { return order_[size_t(position)]; }

    // A cell's text as the list shows it.
    std::u16string shown_text(int position, int column) const;
    // The tip over a Date cell that shows a date read from it: the text as written.
    std::optional<std::wstring> date_tip(int position) const;
    bool decoded() const { return decoded_; }

    // The control's request for the text of a cell it is about to paint. Column 4 is the
    // narrow one that marks a deleted fragment, or the flags the store's index gives a
    // message (answered, forwarded, flagged); it is shown first.
    void fill_cell(NMLVDISPINFOW* request) const;
    // The control's custom-draw notice (NM_CUSTOMDRAW): unread messages in bold.
    LRESULT custom_draw(NMLVCUSTOMDRAW* draw);
    // The column shown last takes the width the others leave, down to a smallest width
    // (then the list scrolls sideways).
    void fill_width() const;
    // A click on a column header: sorts by it, or reverses when it is the sorted one.
    void sort_by(int column);
    // Shows From, Subject and To decoded, or as written; a sorted list is sorted anew.
    void show_decoded(bool decoded);
    // True while the rows' chosen and focused states follow their rows to new positions:
    // the changes the control reports then are no change of what the user chose.
    bool moving_choice() const { return moving_choice_; }
    // What the control reports of a change of the rows' states (LVN_ITEMCHANGED,
    // LVN_ODSTATECHANGED): the positions chosen are kept here as well, as asking the control
    // for each row takes long in a long list.
    void note_state_change(const NMHDR* header);

    // The columns, at the scale `dpi`; once, as the dialog opens.
    void insert_columns(UINT dpi);
    // The list takes Enter, Ctrl+A and Ctrl+C for itself (sending the dialog the commands
    // to open, select all and copy), and keeps its last column filling the width.
    void take_keys();
    // The chosen positions, in order, as the control says them.
    std::vector<int> selected_positions() const;
    // The chosen row that stands for the choice where one message is wanted: the focused
    // row when it is chosen, else the first chosen one; -1 when none is chosen.
    int leading_chosen_row() const;
    void select_all();
    // The chosen rows onto the clipboard as text, for `owner`.
    void copy_chosen(HWND owner) const;

  private:
    void sort_all();  // the rows shown in the order of the sorted column
    void take_late_cell(late_cell& cell);
    void drop_rows();  // every row, the view and the sort kept
    void show_sort_arrow() const;
    void refresh_control(bool keep_view);
    // The positions the control shows chosen, in order.
    std::vector<int> chosen_positions() const;
    std::vector<int> asked_positions(int bound) const;
    void set_chosen(size_t from, size_t to, bool chosen);  // positions from..to, inclusive
    // The order of the rows shown changes by `reorder`; the chosen rows, the focused one and
    // the anchor of a Shift-click stay with their rows (then shown in view when `show_focus`).
    template <class Reorder>
    void reorder_keeping_choice(Reorder reorder, bool keep_view, bool show_focus);

    CListCtrl& control_;
    std::vector<message_row> rows_;             // in the engine's order
    std::vector<int> order_;                    // rows_ indexes in the order shown
    std::shared_ptr<const row_orders> orders_;  // of rows_, when known
    int sort_column_ = -1;                      // none: the engine's order
    bool ascending_ = true;
    bool decoded_ = false;  // a setting of the view: kept when the list is emptied
    int fragments_ = 0;
    bool moving_choice_ = false;
    std::vector<char> chosen_at_;  // by position: chosen, as the control reported it
    size_t chosen_count_ = 0;
    HFONT bold_font_ = nullptr;  // the list's font in bold, made when first needed
};
