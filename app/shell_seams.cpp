#include "app/shell_seams.h"

#include <shellapi.h>
#include <shlobj.h>

#include "app/framework/file_dialog.h"
#include "engine/engine.h"

static std::optional<std::wstring> browse_with_shell(HWND owner, const std::wstring& title,
                                                     UINT flags) {
    wchar_t display_name[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = display_name;
    info.lpszTitle = title.c_str();
    info.ulFlags = flags;
    info.lpfn = nullptr;
    LPITEMIDLIST item = SHBrowseForFolderW(&info);
    if (item == nullptr) return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    SHGetPathFromIDListW(item, path);
    // The item list belongs to the shell's allocator, whatever the path turned out to be.
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(item);
        allocator->Release();
    }
    return std::wstring(path);
}

shell_seams system_seams() {
    shell_seams real;
    real.message_box = [](HWND owner, const std::wstring& text, const std::wstring& title,
                          UINT flags) {
        return MessageBoxW(owner, text.c_str(), title.c_str(), flags);
    };
    real.run_file_dialog = [](CFileDialog& dialog) { return dialog.DoModal(); };
    real.browse_for_folder = browse_with_shell;
    real.shell_open = [](HWND owner, const wchar_t* verb, const std::wstring& file, int show) {
        ShellExecuteW(owner, verb, file.c_str(), nullptr, nullptr, show);
    };
    real.recover = [](const char* target, const char* store_path) {
        return recover_store(target, store_path);
    };
    return real;
}

shell_seams seams = system_seams();
