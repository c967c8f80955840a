// morvale_dialog_bench STORE: scans a store through the real main dialog, as a user would
// with "Browse..." and "Next", and prints how long the rows took to show. The file
// dialog and the message boxes answer by themselves.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/bench/bench_dialog.h"
#include "app/morvale_dlg.h"
#include "app/resource.h"
#include "app/shell_seams.h"
#include "app/worker.h"

namespace {

void click(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvale_dialog_bench STORE\n");
        return 2;
    }
    std::wstring store = argv[1];
    std::thread ui = start_bench_dialog(store, IDYES);  // Yes: the Exit question at the end
    HWND dialog = wait_for_dialog();
    if (dialog == nullptr) {
        std::fprintf(stderr, "morvale_dialog_bench: the dialog did not appear\n");
        ui.join();
        return 1;
    }
    click(dialog, IDC_BROWSE);
    auto start = std::chrono::steady_clock::now();
    click(dialog, IDOK);
    while (run_in_progress()) Sleep(1);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    LRESULT rows = SendMessageW(GetDlgItem(dialog, IDC_MESSAGE_LIST), LVM_GETITEMCOUNT, 0, 0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ui.join();
    std::fprintf(stderr, "morvale_dialog_bench: %lld rows shown %.2f s after Next\n",
                 static_cast<long long>(rows), seconds);
    return 0;
}
