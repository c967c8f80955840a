#pragma once
// What the dialog benchmarks share: the real main dialog on a thread of its own, the store
// picked by the file dialog's stand-in and every message box answered.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <string>
#include <thread>

// Starts the dialog; its "Browse..." picks `store`, and message boxes answer `answer`.
std::thread start_bench_dialog(const std::wstring& store, int answer);

// The dialog once it shows, or null when it does not within ten seconds.
HWND wait_for_dialog();
