#pragma once
// What the user made of the window, kept for the next start: the column widths, the
// window's place and size, Decoded text, Preview, where the splitter stands, and the
// folders of the last store and the last save, where the pickers open next time. They are
// stored per user under the application's registry key; a program without one (the tests)
// starts with the defaults and stores nothing.

#include <windows.h>

#include <array>
#include <optional>
#include <string>

struct view_settings {
    // The columns' widths at 96 dots per inch, in the list's column order; none when a
    // width was never stored.
    std::array<std::optional<int>, 5> column_widths{};
    // The window's place in the system's placement terms, and the scale it was taken at.
    std::optional<WINDOWPLACEMENT> placement;
    UINT placement_dpi = 96;
    bool decoded_text = false;
    bool preview = true;
    double split = 0.5;  // the list's share of the width it shares with the preview
    std::wstring store_folder, save_folder;  // empty when none was kept
};

view_settings load_view_settings();
void store_view_settings(const view_settings& settings);
