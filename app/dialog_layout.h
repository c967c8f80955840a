#pragma once
// Keeps a resizable dialog's controls in place as it grows: each control keeps its
// distance to the edges it is tied to and stretches between the ones it spans. The
// template's size is the smallest the window can take.

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
    // The smallest window size, for WM_GETMINMAXINFO.
    POINT minimum_size() const;

  private:
    struct placed {
        HWND control;
        RECT at;  // in client coordinates at the captured size and scale
        unsigned follow;
    };
    double scale() const;

    HWND dialog_ = nullptr;
    std::vector<placed> controls_;
    SIZE client_{};  // the client area at capture
    SIZE window_{};  // the whole window at capture
    UINT dpi_ = 96;  // the scale at capture
};
