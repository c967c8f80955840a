#include "app/help.h"

#include <string>

#include "app/message_flags.h"
#include "app/shell_seams.h"
#include "platform/fs.h"

namespace {

// The folder of the running program, ending in '\'.
std::wstring program_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0) return L"";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, platform::file_name_start(path));
}

}  // namespace

// The help file ships beside the program, so it is found whatever the working directory.
void open_help_file(HWND owner) {
    std::wstring file = program_folder() + L"quenby.chm";
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
        seams.message_box(owner, L"The help file " + file + L" is missing.", L"Tavrin Morvale",
                          warning_box);
        return;
    }
    seams.shell_open(owner, L"open", file, SW_SHOW);
}
