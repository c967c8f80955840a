#include "app/view_settings.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/framework/app.h"

namespace {

constexpr wchar_t section[] = L"Settings";

// A stored value outside these bounds is not the program's: the default stands.
constexpr int widest_column = 4000;
constexpr int split_scale = 1000;

}  // namespace

view_settings load_view_settings() {
    view_settings settings;
    const CWinApp* app = AfxGetApp();
    if (app == nullptr) return settings;
    for (size_t column = 0; column < settings.column_widths.size(); ++column) {
        std::wstring entry = L"Column" + std::to_wstring(column);
        int width = static_cast<int>(app->GetProfileInt(section, entry.c_str(), -1));
        if (width > 0 && width <= widest_column) settings.column_widths[column] = width;
    }
    std::string placement = app->GetProfileBinary(section, L"Window");
    if (placement.size() == sizeof(WINDOWPLACEMENT)) {
        WINDOWPLACEMENT read{};
        std::memcpy(&read, placement.data(), sizeof read);
        if (read.length == sizeof read) settings.placement = read;
    }
    UINT dpi = app->GetProfileInt(section, L"WindowDpi", 96);
    if (dpi >= 48 && dpi <= 960) settings.placement_dpi = dpi;
    settings.decoded_text = app->GetProfileInt(section, L"DecodedText", 0) != 0;
    settings.preview = app->GetProfileInt(section, L"Preview", 1) != 0;
    int split = static_cast<int>(app->GetProfileInt(section, L"Split", split_scale / 2));
    settings.split = std::clamp(split, split_scale / 5, split_scale * 4 / 5) / double(split_scale);
    settings.store_folder = app->GetProfileString(section, L"StoreFolder");
    settings.save_folder = app->GetProfileString(section, L"SaveFolder");
    return settings;
}

void store_view_settings(const view_settings& settings) {
    const CWinApp* app = AfxGetApp();
    if (app == nullptr || app->m_pszRegistryKey.empty()) return;
    for (size_t column = 0; column < settings.column_widths.size(); ++column) {
        if (!settings.column_widths[column]) continue;
        std::wstring entry = L"Column" + std::to_wstring(column);
        app->WriteProfileInt(section, entry.c_str(), *settings.column_widths[column]);
    }
    if (settings.placement) {
        std::string bytes(sizeof(WINDOWPLACEMENT), '\0');
        std::memcpy(bytes.data(), &*settings.placement, sizeof(WINDOWPLACEMENT));
        app->WriteProfileBinary(section, L"Window", bytes);
        app->WriteProfileInt(section, L"WindowDpi", static_cast<int>(settings.placement_dpi));
    }
    app->WriteProfileInt(section, L"DecodedText", settings.decoded_text ? 1 : 0);
    app->WriteProfileInt(section, L"Preview", settings.preview ? 1 : 0);
    app->WriteProfileInt(section, L"Split", static_cast<int>(settings.split * split_scale + 0.5));
    if (!settings.store_folder.empty())
        app->WriteProfileString(section, L"StoreFolder", settings.store_folder);
    if (!settings.save_folder.empty())
        app->WriteProfileString(section, L"SaveFolder", settings.save_folder);
}
