#pragma once
// The main window's place and the list's column widths, from the view settings the user
// left at the last start and back into them at the end.

#include <windows.h>

#include "app/view_settings.h"

// The window where the user left it, when that is on a screen; otherwise wide enough for
// the preview beside the list where the screen has room. Either way it fits the screen it
// is on; `smallest` is its smallest size.
void place_window(HWND window, const view_settings& settings, POINT smallest);

// The columns' widths as the user left them, at the window's present scale.
void restore_column_widths(HWND window, HWND list, const view_settings& settings);

// The settings of the window's place and the list's column widths as they are now.
view_settings window_view_settings(HWND window, HWND list);
