#include "app/pictures.h"

#include "app/framework/app.h"
#include "app/resource.h"

// The window's own scale where the system knows one per display (Windows 10 and later);
// otherwise the screen's.
UINT window_dpi(HWND window) {
    using dpi_for_window = UINT(WINAPI*)(HWND);
    static const auto ask = reinterpret_cast<dpi_for_window>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = ask != nullptr ? ask(window) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
        ReleaseDC(nullptr, screen);
    }
    return dpi == 0 ? 96 : dpi;
}

HBITMAP load_picture(UINT picture_100, HWND window) {
    UINT dpi = window_dpi(window);
    // The larger drawings follow the 100 % one in the resource ids.
    UINT id = picture_100;
    if (dpi >= 192) {
        id = picture_100 + picture_200_offset;
    } else if (dpi >= 144) {
        id = picture_100 + picture_150_offset;
    }
    return static_cast<HBITMAP>(LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id),
                                           IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}
