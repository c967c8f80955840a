#include "app/message_list.h"

#include <algorithm>
#include <numeric>

#include "app/message_preview.h"
#include "app/pictures.h"
#include "app/resource.h"

namespace {

constexpr int date_column = 3;

}  // namespace

// The control keeps the chosen and focused states by position; they are moved to where
// their rows now stand.
template <class Reorder>
void message_list::reorder_keeping_choice(Reorder reorder, bool keep_view, bool show_focus) {
    int listed = static_cast<int>(control_.SendMessage(LVM_GETITEMCOUNT));
    auto next = [this](int position, UINT which) {
        return static_cast<int>(control_.SendMessage(LVM_GETNEXTITEM, WPARAM(position), which));
    };
    auto row_at = [&](int position) {
        return position >= 0 && position < listed ? order_[size_t(position)] : -1;
    };
    std::vector<int> chosen = chosen_positions();  // before
    std::vector<int> chosen_rows;
    for (int position : chosen) chosen_rows.push_back(order_[size_t(position)]);
    int focused_row = row_at(next(-1, LVNI_FOCUSED));
    int anchor_row = row_at(static_cast<int>(control_.SendMessage(LVM_GETSELECTIONMARK)));

    reorder();
    refresh_control(keep_view);  // the count first: a row may move past the old end
    if (chosen.empty() && focused_row < 0 && anchor_row < 0) return;

    std::vector<int> position_of(order_.size());
    for (size_t position = 0; position < order_.size(); ++position)
        position_of[size_t(order_[position])] = static_cast<int>(position);
    std::vector<char> was(order_.size()), now(order_.size());
    for (int position : chosen) was[size_t(position)] = 1;
    for (int row : chosen_rows) now[size_t(position_of[size_t(row)])] = 1;
    auto set_state = [this](WPARAM position, UINT state, UINT mask) {
        LVITEMW item{};
        item.stateMask = mask;
        item.state = state;
        control_.SendMessage(LVM_SETITEMSTATE, position, reinterpret_cast<LPARAM>(&item));
    };
    // The control keeps runs of chosen rows: many rows changed one by one cost it dearly
    // (rows in the middle of its runs), rows set in order from an empty or full list little.
    // So when many rows change, every row is set first, then the others in order.
    size_t changed = 0;
    for (size_t position = 0; position < order_.size(); ++position)
        changed += was[position] != now[position];
    size_t unchosen = order_.size() - chosen_rows.size();
    constexpr size_t few = 64;
    bool many = changed > few || changed > 1 + std::min(chosen_rows.size(), unchosen);
    moving_choice_ = true;
    if (many) {
        control_.SendMessage(WM_SETREDRAW, FALSE);
        bool all = unchosen < chosen_rows.size();
        set_state(WPARAM(-1), all ? LVIS_SELECTED : 0, LVIS_SELECTED);
        was.assign(order_.size(), all);
    }
    for (size_t position = 0; position < order_.size(); ++position) {
        if (was[position] != now[position])
            set_state(position, now[position] ? LVIS_SELECTED : 0, LVIS_SELECTED);
    }
    if (focused_row >= 0)
        set_state(size_t(position_of[size_t(focused_row)]), LVIS_FOCUSED, LVIS_FOCUSED);
    if (anchor_row >= 0)
        control_.SendMessage(LVM_SETSELECTIONMARK, 0, position_of[size_t(anchor_row)]);
    if (many) {
        control_.SendMessage(WM_SETREDRAW, TRUE);
        InvalidateRect(control_.m_hWnd, nullptr, FALSE);
    }
    chosen_at_ = std::move(now);
    chosen_count_ = chosen.size();
    moving_choice_ = false;
    if (show_focus && focused_row >= 0)
        control_.SendMessage(LVM_ENSUREVISIBLE, WPARAM(position_of[size_t(focused_row)]), FALSE);
}

// The positions kept from the control's reports, unless they chose another number of rows
// than the control counts: then the control is asked for each.
std::vector<int> message_list::chosen_positions() const {
    std::vector<int> positions;
    int listed = static_cast<int>(control_.SendMessage(LVM_GETITEMCOUNT));
    size_t counted = size_t(control_.SendMessage(LVM_GETSELECTEDCOUNT));
    if (counted == chosen_count_ && chosen_at_.size() == size_t(listed)) {
        for (size_t position = 0; position < chosen_at_.size(); ++position) {
            if (chosen_at_[position]) positions.push_back(static_cast<int>(position));
        }
        return positions;
    }
    return asked_positions(listed);
}

// The control asked for each chosen position below `bound`, in order.
std::vector<int> message_list::asked_positions(int bound) const {
    std::vector<int> positions;
    for (int position = -1;;) {
        position = static_cast<int>(
            control_.SendMessage(LVM_GETNEXTITEM, WPARAM(position), LVNI_SELECTED));
        if (position < 0 || position >= bound) break;
        positions.push_back(position);
    }
    return positions;
}

std::vector<int> message_list::selected_positions() const {
    return asked_positions(size());
}

// The focused row when it is chosen, else the first chosen one.
int message_list::leading_chosen_row() const {
    int position = static_cast<int>(
        control_.SendMessage(LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED | LVNI_SELECTED));
    if (position >= 0) return position;
    return static_cast<int>(control_.SendMessage(LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
}

// Drawn once at the end: a long list drawn row by row as each is chosen takes seconds.
void message_list::select_all() {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    control_.SendMessage(WM_SETREDRAW, FALSE);
    control_.SendMessage(LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&state));
    control_.SendMessage(WM_SETREDRAW, TRUE);
    InvalidateRect(control_.m_hWnd, nullptr, FALSE);
}

// The chosen rows as lines of tab-separated cells, as the list shows them, under a line
// of the column headings; a deleted fragment's line ends in a note saying so.
void message_list::copy_chosen(HWND owner) const {
    std::vector<int> positions = selected_positions();
    if (positions.empty()) return;
    std::u16string text = u"From\tE-mail Subject\tTo\tDate\r\n";
    for (int position : positions) {
        for (int column = 0; column < 4; ++column) {
            if (column > 0) text += u'\t';
            text += shown_text(position, column);
        }
        if (shown(position).list == 1) text += u"\t(deleted fragment)";
        text += u"\r\n";
    }
    if (!OpenClipboard(owner)) return;
    EmptyClipboard();
    size_t bytes = (text.size() + 1) * sizeof(char16_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory != nullptr) {
        void* place = GlobalLock(memory);
        std::copy_n(reinterpret_cast<const char*>(text.c_str()), bytes, static_cast<char*>(place));
        GlobalUnlock(memory);
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    }
    CloseClipboard();
}

// The widths are for 96 dots per inch and grow with the display's scale. The narrow
// column that marks deleted fragments is the fifth, shown first.
void message_list::insert_columns(UINT dpi) {
    auto at_scale = [dpi](int pixels) { return MulDiv(pixels, int(dpi), 96); };
    control_.InsertColumn(0, L"From", LVCFMT_LEFT, at_scale(130));
    control_.InsertColumn(1, L"E-mail Subject", LVCFMT_LEFT, at_scale(150));
    control_.InsertColumn(2, L"To", LVCFMT_LEFT, at_scale(130));
    control_.InsertColumn(3, L"Date", LVCFMT_LEFT, at_scale(last_column_smallest));
    control_.InsertColumn(fragment_column, fragment_mark, LVCFMT_CENTER, at_scale(22));
    int order[5] = {fragment_column, 0, 1, 2, 3};
    control_.SendMessage(LVM_SETCOLUMNORDERARRAY, 5, reinterpret_cast<LPARAM>(order));
}

namespace {

// The dialog manager takes Enter for the default button, which is mostly disabled; on the
// list Enter opens the selected message, so the list asks for the key itself. Ctrl+A and
// Ctrl+C on the list select every row and copy the chosen ones. When the list or one of
// its columns changes width, the last column fills what is left.
LRESULT CALLBACK list_wants_enter(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                  DWORD_PTR shown) {
    if (message == WM_SIZE ||
        (message == WM_NOTIFY &&
         (reinterpret_cast<const NMHDR*>(lparam)->code == HDN_ENDTRACKW ||
          reinterpret_cast<const NMHDR*>(lparam)->code == HDN_ITEMCHANGEDW))) {
        LRESULT result = DefSubclassProc(list, message, wparam, lparam);
        reinterpret_cast<const message_list*>(shown)->fill_width();
        return result;
    }
    if (message == WM_GETDLGCODE && lparam != 0) {
        const auto* key = reinterpret_cast<const MSG*>(lparam);
        if (key->message == WM_KEYDOWN && key->wParam == VK_RETURN) return DLGC_WANTMESSAGE;
    }
    if (message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0 && (wparam == 'A' || wparam == 'C')) {
        UINT command = wparam == 'A' ? ID_EDIT_SELECT_ALL : ID_LIST_COPY;
        SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(command, 0), 0);
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(list, list_wants_enter, 0);
    return DefSubclassProc(list, message, wparam, lparam);
}

}  // namespace

void message_list::take_keys() {
    SetWindowSubclass(control_.m_hWnd, list_wants_enter, 0, reinterpret_cast<DWORD_PTR>(this));
}

void message_list::set_chosen(size_t from, size_t to, bool chosen) {
    for (size_t position = from; position <= to && position < chosen_at_.size(); ++position) {
        chosen_count_ += size_t(chosen) - size_t(chosen_at_[position]);
        chosen_at_[position] = chosen;
    }
}

// A change of the chosen state of one row, of every row (-1), or of a range of rows.
void message_list::note_state_change(const NMHDR* header) {
    if (header->code == LVN_ODSTATECHANGED) {
        const auto* change = reinterpret_cast<const NMLVODSTATECHANGE*>(header);
        if (((change->uNewState ^ change->uOldState) & LVIS_SELECTED) == 0 || change->iFrom < 0)
            return;
        set_chosen(size_t(change->iFrom), size_t(std::max(change->iFrom, change->iTo)),
                   (change->uNewState & LVIS_SELECTED) != 0);
        return;
    }
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
    if ((change->uChanged & LVIF_STATE) == 0 ||
        ((change->uNewState ^ change->uOldState) & LVIS_SELECTED) == 0 || change->iItem < -1)
        return;
    bool chosen = (change->uNewState & LVIS_SELECTED) != 0;
    if (change->iItem == -1) {
        if (!chosen_at_.empty()) set_chosen(0, chosen_at_.size() - 1, chosen);
        return;
    }
    set_chosen(size_t(change->iItem), size_t(change->iItem), chosen);
}

void message_list::clear() {
    rows_.clear();
    orders_.reset();
    chosen_at_.clear();
    chosen_count_ = 0;
    fragments_ = 0;
    order_.clear();
    sort_column_ = -1;
    ascending_ = true;
    show_sort_arrow();
    control_.SendMessage(LVM_SETITEMCOUNT, 0, 0);
}

// The batch brings the orders of every row handed over so far: a sorted list takes the
// order of its column again.
void message_list::add(row_batch batch) {
    if (!batch.rows.empty() && shown_found() && !batch.rows.front().found) drop_rows();
    size_t first_new = rows_.size();
    for (message_row& row : batch.rows) {
        fragments_ += row.list == 1;
        rows_.push_back(std::move(row));
    }
    for (late_cell& cell : batch.cells) take_late_cell(cell);
    if (rows_.size() == first_new && batch.cells.empty()) return;
    orders_ = std::move(batch.orders);
    size_t old_size = order_.size();
    order_.resize(rows_.size());
    std::iota(order_.begin() + static_cast<std::ptrdiff_t>(old_size), order_.end(),
              static_cast<int>(old_size));
    if (sort_column_ < 0) {
        refresh_control(true);
        return;
    }
    reorder_keeping_choice([this] { sort_all(); }, true, false);
}

// The control keeps its count and where it is scrolled until the new rows are counted, so
// the list is never seen empty; what was chosen among the old rows is chosen no more.
void message_list::drop_rows() {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    moving_choice_ = true;
    control_.SendMessage(LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&state));
    int focused = static_cast<int>(control_.SendMessage(LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    if (focused >= 0)
        control_.SendMessage(LVM_SETITEMSTATE, WPARAM(focused), reinterpret_cast<LPARAM>(&state));
    control_.SendMessage(LVM_SETSELECTIONMARK, 0, -1);
    moving_choice_ = false;
    rows_.clear();
    order_.clear();
    orders_.reset();
    fragments_ = 0;
    chosen_at_.assign(chosen_at_.size(), 0);
    chosen_count_ = 0;
}

void message_list::take_late_cell(late_cell& cell) {
    if (size_t(cell.item) >= rows_.size()) return;
    message_row& row = rows_[size_t(cell.item)];
    if (cell.decoded) {
        row.decoded[size_t(cell.column)] = std::move(cell.text);
    } else {
        row.cells[size_t(cell.column)] = std::move(cell.text);
        if (cell.column < date_column) row.decoded[size_t(cell.column)].reset();
    }
    row.read_cells();
}

// The rows in the order made for the column: as it is, or its runs of equal rows from the
// last to the first, each run in the engine's order. Orders the worker did not make (a
// cell came late) are made here.
void message_list::sort_all() {
    if (!orders_ || orders_->size() != rows_.size()) {
        std::vector<row_keys> keys;
        keys.reserve(rows_.size());
        for (const message_row& row : rows_) keys.push_back(sort_keys_of(row));
        orders_ = ordered_rows(keys, nullptr);
    }
    const row_order& sorted = orders_->by[row_orders::of_column(sort_column_, decoded_)];
    if (ascending_) {
        order_ = sorted.rows;
        return;
    }
    order_.clear();
    for (size_t end = sorted.rows.size(); end > 0;) {
        size_t start = end - 1;
        while (start > 0 && !sorted.starts[start]) --start;
        order_.insert(order_.end(), sorted.rows.begin() + std::ptrdiff_t(start),
                      sorted.rows.begin() + std::ptrdiff_t(end));
        end = start;
    }
}

void message_list::sort_by(int column) {
    if (column < 0 || column > fragment_column) return;
    ascending_ = column == sort_column_ ? !ascending_ : true;
    sort_column_ = column;
    reorder_keeping_choice([this] { sort_all(); }, false, true);
    show_sort_arrow();
}

void message_list::show_decoded(bool decoded) {
    if (decoded == decoded_) return;
    decoded_ = decoded;
    if (sort_column_ < 0) {
        refresh_control(false);
        return;
    }
    reorder_keeping_choice([this] { sort_all(); }, false, true);
}

void message_list::fill_cell(NMLVDISPINFOW* request) const {
    LVITEMW& item = request->item;
    if (item.iItem < 0 || item.iItem >= size()) return;
    if (item.mask & LVIF_IMAGE) item.iImage = 1;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
    if (item.iSubItem == fragment_column) {
        const message_row& row = shown(item.iItem);
        lstrcpynW(item.pszText, row.list == 1 ? fragment_mark : row.marks().c_str(),
                  item.cchTextMax);
        return;
    }
    if (item.iSubItem < 0 || item.iSubItem > 3) {
        item.pszText[0] = L'\0';
        return;
    }
    std::u16string text = shown_text(item.iItem, item.iSubItem);
    size_t n = std::min(text.size(), size_t(item.cchTextMax - 1));
    std::copy_n(text.data(), n, item.pszText);
    item.pszText[n] = L'\0';
}

// In the decoded view a date that parses shows in the user's own form, in local time.
std::u16string message_list::shown_text(int position, int column) const {
    const message_row& row = shown(position);
    if (column == date_column && decoded_ && row.date) {
        std::wstring local = local_date_text(*row.date);
        if (!local.empty()) return std::u16string(local.begin(), local.end());
    }
    return row.text(column, decoded_);
}

std::optional<std::wstring> message_list::date_tip(int position) const {
    if (!decoded_ || position < 0 || position >= size() || !shown(position).date)
        return std::nullopt;
    const std::u16string& raw = shown(position).cells[date_column];
    return std::wstring(raw.begin(), raw.end());
}

// An unread message the store's index names shows in bold, as its mail program showed it.
LRESULT message_list::custom_draw(NMLVCUSTOMDRAW* draw) {
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    int position = static_cast<int>(draw->nmcd.dwItemSpec);
    if (position < 0 || position >= size() || !shown(position).unread()) return CDRF_DODEFAULT;
    if (bold_font_ == nullptr) {
        HFONT font = reinterpret_cast<HFONT>(control_.SendMessage(WM_GETFONT));
        LOGFONTW shape{};
        if (font == nullptr || GetObjectW(font, sizeof shape, &shape) == 0) return CDRF_DODEFAULT;
        shape.lfWeight = FW_BOLD;
        bold_font_ = CreateFontIndirectW(&shape);
        if (bold_font_ == nullptr) return CDRF_DODEFAULT;
    }
    SelectObject(draw->nmcd.hdc, bold_font_);
    return CDRF_NEWFONT;
}

message_list::~message_list() {
    if (bold_font_ != nullptr) DeleteObject(bold_font_);
}

void message_list::show_sort_arrow() const {
    HWND header = reinterpret_cast<HWND>(control_.SendMessage(LVM_GETHEADER));
    if (header == nullptr) return;
    for (int column = 0; column <= fragment_column; ++column) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == sort_column_) item.fmt |= ascending_ ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, column, reinterpret_cast<LPARAM>(&item));
    }
}

void message_list::fill_width() const {
    HWND list = control_.m_hWnd;
    if (list == nullptr) return;
    int order[fragment_column + 1] = {};
    if (!SendMessageW(list, LVM_GETCOLUMNORDERARRAY, fragment_column + 1,
                      reinterpret_cast<LPARAM>(order)))
        return;
    int last = order[fragment_column];
    int others = 0;
    for (int column = 0; column <= fragment_column; ++column) {
        if (column != last) others += int(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
    }
    RECT client;
    GetClientRect(list, &client);
    int smallest = MulDiv(last_column_smallest, int(window_dpi(list)), 96);
    int wanted = std::max(smallest, int(client.right - client.left) - others);
    if (SendMessageW(list, LVM_GETCOLUMNWIDTH, last, 0) != wanted)
        SendMessageW(list, LVM_SETCOLUMNWIDTH, last, MAKELPARAM(wanted, 0));
}

// While rows arrive the view stays where the user scrolled it; after a sort it is
// redrawn whole.
void message_list::refresh_control(bool keep_view) {
    chosen_at_.resize(rows_.size());
    LPARAM flags = keep_view ? LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL : 0;
    control_.SendMessage(LVM_SETITEMCOUNT, rows_.size(), flags);
    if (!keep_view || !order_.empty()) InvalidateRect(control_.m_hWnd, nullptr, FALSE);
}
