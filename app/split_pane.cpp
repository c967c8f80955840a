#include "app/split_pane.h"

#include <algorithm>
#include <utility>

#include "app/pictures.h"

namespace {

// The width of the list's place, at 96 dots per inch, from which the preview shows beside it.
constexpr int preview_wide_enough = 700;

}  // namespace

void split_pane::attach(HWND dialog, HWND list, HWND pane,
                        std::function<void(const RECT* area)> place_pane) {
    dialog_ = dialog;
    list_ = list;
    pane_ = pane;
    place_pane_ = std::move(place_pane);
    if (!place_pane_) {
        place_pane_ = [this](const RECT* area) {
            if (area == nullptr) {
                ShowWindow(pane_, SW_HIDE);
                return;
            }
            MoveWindow(pane_, area->left, area->top, area->right - area->left,
                       area->bottom - area->top, TRUE);
            ShowWindow(pane_, SW_SHOWNA);
        };
    }
}

// While the splitter is dragged the shared place stays as it was when the drag began.
bool split_pane::place() {
    if (pane_ == nullptr) return false;
    if (!dragging_) {
        GetWindowRect(list_, &area_);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&area_), 2);
    }
    int width = area_.right - area_.left;
    int height = area_.bottom - area_.top;
    int dpi = int(window_dpi(dialog_));
    bool was_shown = IsWindowVisible(pane_) != FALSE;
    if (!on_ || width < MulDiv(preview_wide_enough, dpi, 96)) {
        if (dragging_ || !was_shown) return false;
        place_pane_(nullptr);
        MoveWindow(list_, area_.left, area_.top, width, height, TRUE);
        return false;
    }
    int gap = MulDiv(6, dpi, 96);
    int list_width = int((width - gap) * split_);
    MoveWindow(list_, area_.left, area_.top, list_width, height, TRUE);
    RECT pane{area_.left + list_width + gap, area_.top, area_.right, area_.bottom};
    place_pane_(&pane);
    return !was_shown;
}

bool split_pane::shown() const {
    return on_ && IsWindowVisible(pane_);
}

RECT split_pane::splitter_rect() const {
    RECT list, pane;
    GetWindowRect(list_, &list);
    GetWindowRect(pane_, &pane);
    RECT between{list.right, list.top, pane.left, list.bottom};
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&between), 2);
    return between;
}

bool split_pane::over_splitter(POINT at) const {
    RECT splitter = splitter_rect();
    return shown() && PtInRect(&splitter, at);
}

bool split_pane::mouse_down(POINT at) {
    if (!over_splitter(at)) return false;
    dragging_ = true;
    SetCapture(dialog_);
    return true;
}

bool split_pane::mouse_move(int x) {
    if (!dragging_) return false;
    int width = area_.right - area_.left;
    if (width <= 0) return false;
    split_ = std::clamp(double(x - area_.left) / width, 0.2, 0.8);
    return place();
}

void split_pane::mouse_up() {
    if (!dragging_) return;
    dragging_ = false;
    ReleaseCapture();
}
