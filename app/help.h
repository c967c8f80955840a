#pragma once
// The help command: opens "quenby.chm" from the program's own folder through the shell,
// and tells the user when the file is not there.

#include <windows.h>

void open_help_file(HWND owner);
