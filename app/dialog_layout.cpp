#include "app/dialog_layout.h"

#include <algorithm>

#include "app/pictures.h"

void dialog_layout::capture(HWND dialog, const std::vector<std::pair<int, unsigned>>& controls) {
    dialog_ = dialog;
    dpi_ = window_dpi(dialog);
    RECT client, window;
    GetClientRect(dialog, &client);
    GetWindowRect(dialog, &window);
    client_ = {client.right, client.bottom};
    window_ = {window.right - window.left, window.bottom - window.top};
    for (auto [id, follow] : controls) {
        HWND control = GetDlgItem(dialog, id);
        if (control == nullptr) continue;
        RECT at;
        GetWindowRect(control, &at);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&at), 2);
        controls_.push_back({control, at, follow});
    }
    spare_height_ = 0;
    int lowest = 0;
    for (const placed& c : controls_) {
        if (c.follow & layout::moves_down) lowest = std::max<int>(lowest, c.at.bottom);
    }
    room_below_ = client_.cy - lowest;
    bool first = true;
    for (const placed& c : controls_) {
        if ((c.follow & layout::heightens) == 0) continue;
        int spare = (c.at.bottom - c.at.top) * 3 / 4;
        spare_height_ = first ? spare : std::min(spare_height_, spare);
        first = false;
    }
}

// When the window moves to a display of another scale, the system scales the dialog;
// the recorded places are scaled alike.
double dialog_layout::scale() const {
    return double(window_dpi(dialog_)) / dpi_;
}

void dialog_layout::apply() const {
    if (dialog_ == nullptr || IsIconic(dialog_)) return;
    RECT client;
    GetClientRect(dialog_, &client);
    double s = scale();
    int grow_x = client.right - int(client_.cx * s + 0.5);
    int grow_y = client.bottom - int(client_.cy * s + 0.5);
    if (grow_x < 0) grow_x = 0;
    bool short_window = grow_y < 0;
    grow_y = std::max(grow_y, -int(spare_height_ * s + 0.5)) - int(lift() * s + 0.5);
    HDWP moves = BeginDeferWindowPos(static_cast<int>(controls_.size()));
    for (const placed& c : controls_) {
        int left = int(c.at.left * s + 0.5), top = int(c.at.top * s + 0.5);
        int width = int((c.at.right - c.at.left) * s + 0.5);
        int height = int((c.at.bottom - c.at.top) * s + 0.5);
        if (c.follow & layout::moves_right) left += grow_x;
        if (c.follow & layout::moves_half_right) left += grow_x / 2;
        if (c.follow & layout::moves_down) top += grow_y;
        if (c.follow & layout::widens) width += grow_x;
        if (c.follow & layout::heightens) height += grow_y;
        if (short_window) {
            int shift = int(c.fold_shift * s + 0.5);
            if (c.follow & layout::heightens) {
                height += shift;
            } else {
                top += shift;
            }
        }
        if (c.fold_hides) ShowWindow(c.control, short_window ? SW_HIDE : SW_SHOWNA);
        if (moves != nullptr) {
            moves = DeferWindowPos(moves, c.control, nullptr, left, top, width, height,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (moves != nullptr) EndDeferWindowPos(moves);
    InvalidateRect(dialog_, nullptr, TRUE);
}

void dialog_layout::fold_when_short(int id, int shift, bool hidden) {
    HWND control = GetDlgItem(dialog_, id);
    for (placed& c : controls_) {
        if (c.control != control) continue;
        c.fold_shift = shift;
        c.fold_hides = hidden;
    }
}

void dialog_layout::keep_clear_at_bottom(int height) {
    bar_height_ = int(height / (dialog_ == nullptr ? 1.0 : scale()) + 0.5);
}

// The bar and a gap of a quarter of its height fit below the lowest control; what does
// not fit lifts the controls (and shortens the ones that grow in height).
int dialog_layout::lift() const {
    return std::max(0, bar_height_ + bar_height_ / 4 - room_below_);
}

POINT dialog_layout::minimum_size() const {
    double s = dialog_ == nullptr ? 1.0 : scale();
    return {int(window_.cx * s + 0.5),
            int(window_.cy * s + 0.5) - int((spare_height_ - lift()) * s + 0.5)};
}
