#include "app/dialog_layout.h"

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
    if (grow_y < 0) grow_y = 0;
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
        if (moves != nullptr) {
            moves = DeferWindowPos(moves, c.control, nullptr, left, top, width, height,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (moves != nullptr) EndDeferWindowPos(moves);
    InvalidateRect(dialog_, nullptr, TRUE);
}

POINT dialog_layout::minimum_size() const {
    double s = dialog_ == nullptr ? 1.0 : scale();
    return {int(window_.cx * s + 0.5), int(window_.cy * s + 0.5)};
}
