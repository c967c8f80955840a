#include "app/window_placement.h"

#include <commctrl.h>

#include <algorithm>

#include "app/message_list.h"
#include "app/pictures.h"

namespace {

RECT work_area(HWND window) {
    MONITORINFO screen{};
    screen.cbSize = sizeof screen;
    HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &screen))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen.rcWork, 0);
    return screen.rcWork;
}

// A window larger than its screen's work area (a large scale on a small screen) is made
// as small as the work area, down to its smallest size, and moved into it.
void fit_to_screen(HWND handle, POINT smallest) {
    if (IsZoomed(handle) || IsIconic(handle)) return;
    RECT work = work_area(handle), window{};
    GetWindowRect(handle, &window);
    int width = std::max<int>(std::min<int>(window.right - window.left, work.right - work.left),
                              smallest.x);
    int height = std::max<int>(std::min<int>(window.bottom - window.top, work.bottom - work.top),
                               smallest.y);
    int left =
        std::clamp<int>(window.left, work.left, std::max<int>(work.left, work.right - width));
    int top = std::clamp<int>(window.top, work.top, std::max<int>(work.top, work.bottom - height));
    if (left != window.left || top != window.top || width != window.right - window.left ||
        height != window.bottom - window.top) {
        SetWindowPos(handle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace

void place_window(HWND handle, const view_settings& settings, POINT smallest) {
    RECT window{};
    GetWindowRect(handle, &window);
    if (settings.placement) {
        WINDOWPLACEMENT place = *settings.placement;
        RECT& normal = place.rcNormalPosition;
        UINT dpi = window_dpi(handle);
        normal.right =
            normal.left + MulDiv(normal.right - normal.left, int(dpi), int(settings.placement_dpi));
        normal.bottom =
            normal.top + MulDiv(normal.bottom - normal.top, int(dpi), int(settings.placement_dpi));
        // The window shows when the dialog is ready, maximised when it was left so.
        bool maximized = place.showCmd == SW_SHOWMAXIMIZED;
        place.flags = 0;
        place.showCmd = SW_HIDE;
        if (MonitorFromRect(&normal, MONITOR_DEFAULTTONULL) != nullptr) {
            SetWindowPlacement(handle, &place);
            fit_to_screen(handle, smallest);
            if (maximized) PostMessageW(handle, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
            return;
        }
    }
    RECT work = work_area(handle);
    int width = window.right - window.left;
    int wide = std::min<int>(width * 8 / 5, (work.right - work.left) * 9 / 10);
    if (wide > width) {
        SetWindowPos(handle, nullptr, work.left + (work.right - work.left - wide) / 2, window.top,
                     wide, window.bottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    fit_to_screen(handle, smallest);
}

void restore_column_widths(HWND window, HWND list, const view_settings& settings) {
    UINT dpi = window_dpi(window);
    for (int column = 0; column <= fragment_column; ++column) {
        if (const auto& width = settings.column_widths[size_t(column)])
            SendMessageW(list, LVM_SETCOLUMNWIDTH, WPARAM(column),
                         MAKELPARAM(MulDiv(*width, int(dpi), 96), 0));
    }
}

view_settings window_view_settings(HWND window, HWND list) {
    view_settings settings;
    UINT dpi = window_dpi(window);
    for (int column = 0; column <= fragment_column; ++column) {
        int width = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, WPARAM(column), 0));
        if (width > 0) settings.column_widths[size_t(column)] = MulDiv(width, 96, int(dpi));
    }
    WINDOWPLACEMENT place{};
    place.length = sizeof place;
    if (GetWindowPlacement(window, &place)) {
        settings.placement = place;
        settings.placement_dpi = dpi;
    }
    return settings;
}
