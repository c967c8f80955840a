#pragma once
// Keeps a resizable dialog's controls in place as it grows: each control keeps its
// distance to the edges it is tied to and stretches between the ones it spans. The
// template's width is the smallest the window can take; its height may shrink until the
// controls that grow in height are a quarter of their height in the template, so that a
// window at a large scale still fits a small screen.

#include <windows.h>

#include <vector>

namespace layout {
// How a control follows the window's growth, side by side.
enum follow : unsigned {
    stays = 0,
    moves_right = 1,        // keeps its distance to the right edge
    moves_down = 2,         // keeps its distance to the bottom edge
    widens = 4,             // stretches with the width
    heightens = 8,          // stretches with the height
    moves_half_right = 16,  // stays centred in the width
};
}  // namespace layout

class dialog_layout {
  public:
    // Records the controls where the template put them; call once the dialog is made.
    void capture(HWND dialog, const std::vector<std::pair<int, unsigned>>& controls);
    // Places the controls for the dialog's present size and scale.
    void apply() const;
    // A bar of this height (at the present scale) lies along the bottom of the client area:
    // the controls that follow the bottom edge keep clear of it.
    void keep_clear_at_bottom(int height);
    // The smallest window size, for WM_GETMINMAXINFO.
    POINT minimum_size() const;
    // While the window is shorter than the template, a recorded control folds: it moves
    // down by `shift` pixels of the template, a control that grows in height grows by them,
    // and a `hidden` one is hidden (so frames around a row give their room to the list).
    void fold_when_short(int id, int shift, bool hidden);

  private:
    struct placed {
        HWND control;
        RECT at;  // in client coordinates at the captured size and scale
        unsigned follow;
        int fold_shift = 0;  // while short: moves down (or grows) by this much
        bool fold_hides = false;
    };
    double scale() const;

    HWND dialog_ = nullptr;
    std::vector<placed> controls_;
    SIZE client_{};         // the client area at capture
    SIZE window_{};         // the whole window at capture
    UINT dpi_ = 96;         // the scale at capture
    int spare_height_ = 0;  // how much the window may lose below the template's height
    int room_below_ = 0;    // below the lowest control that follows the bottom edge
    int bar_height_ = 0;    // the bar along the bottom, at capture's scale
    int lift() const;       // how far the bar pushes the bottom controls up, at capture's scale
};
