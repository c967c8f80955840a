#include "app/cell_tip.h"

namespace {

constexpr UINT_PTR watch_id = 0x7469;  // this subclass among the list's others

std::pair<int, int> cell_at(HWND list, POINT at) {
    LVHITTESTINFO hit{};
    hit.pt = at;
    if (SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0 ||
        (hit.flags & LVHT_ONITEM) == 0)
        return {-1, -1};
    return {hit.iItem, hit.iSubItem};
}

}  // namespace

cell_tip::~cell_tip() {
    if (list_ != nullptr && IsWindow(list_)) RemoveWindowSubclass(list_, watch, watch_id);
    if (tip_ != nullptr && IsWindow(tip_)) DestroyWindow(tip_);
}

// A tracking tip: it shows only when told, where it is told.
void cell_tip::attach(HWND list, text_of text) {
    list_ = list;
    text_ = std::move(text);
    tip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, GetParent(list), nullptr, nullptr, nullptr);
    if (tip_ == nullptr) return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = list;
    tool.uId = 1;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SetWindowSubclass(list, watch, watch_id, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK cell_tip::watch(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                 DWORD_PTR self) {
    auto* tip = reinterpret_cast<cell_tip*>(self);
    switch (message) {
        case WM_MOUSEMOVE: {
            POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
            if (cell_at(list, at) != tip->cell_) tip->hide();
            tip->arm();
            break;
        }
        case WM_MOUSEHOVER:
            tip->armed_ = false;
            tip->hover({static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
            break;
        case WM_MOUSELEAVE:
            tip->armed_ = false;
            tip->hide();
            break;
        case WM_MOUSEWHEEL:
        case WM_VSCROLL:
        case WM_HSCROLL:
        case WM_KEYDOWN:
            tip->hide();
            break;
        case WM_NCDESTROY:
            tip->hide();
            RemoveWindowSubclass(list, watch, watch_id);
            tip->list_ = nullptr;
            break;
    }
    return DefSubclassProc(list, message, wparam, lparam);
}

// The system says when the mouse has rested, and when it leaves the list.
void cell_tip::arm() {
    if (armed_) return;
    TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, list_, HOVER_DEFAULT};
    armed_ = TrackMouseEvent(&track) != FALSE;
}

void cell_tip::hover(POINT at) {
    std::pair<int, int> cell = cell_at(list_, at);
    std::optional<std::wstring> text;
    if (cell.first >= 0 && text_) text = text_(cell.first, cell.second);
    hide();
    if (!text || text->empty()) return;
    cell_ = cell;
    shown_ = *text;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = list_;
    tool.uId = 1;
    tool.lpszText = shown_.data();
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    POINT below{at.x, at.y + GetSystemMetrics(SM_CYCURSOR) / 2};
    ClientToScreen(list_, &below);
    SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(below.x, below.y));
    SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void cell_tip::hide() {
    if (cell_.first < 0 || tip_ == nullptr) return;
    cell_ = {-1, -1};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = list_;
    tool.uId = 1;
    SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}
