#pragma once
// The program's pictures at the size that suits the display: each is drawn for 100 %,
// 150 % and 200 %, and the one nearest below the window's scale is taken, so it is never
// stretched by the system.

#include <windows.h>

// The window's dots per inch (96 at 100 %).
UINT window_dpi(HWND window);
// The bitmap of a picture for the window's scale; the caller deletes it.
HBITMAP load_picture(UINT picture_100, HWND window);
