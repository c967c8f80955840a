#include "app/help.h"

#include <windows.h>

#include <string>

#include "app/shell_seams.h"

// The help file is looked for in the current directory, not beside the program; a
// missing file shows nothing of the program's own.
void open_help_file() {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    seams.shell_open(nullptr, L"open", std::wstring(folder) + L"\\quenby.chm", SW_SHOW);
}
