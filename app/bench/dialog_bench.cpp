// morvale_dialog_bench STORE: scans a store through the real main dialog, as a user would
// with "Browse..." and "Next", and prints how long the rows took to show, then how long a
// click on each column heading takes to sort them, as written and decoded, and with every
// row chosen. The file dialog and the message boxes answer by themselves.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
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

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A click on a column heading, as the list reports it to the dialog; the seconds until the
// dialog has sorted.
double click_heading(HWND dialog, int column) {
    NMLISTVIEW click{};
    click.hdr.hwndFrom = GetDlgItem(dialog, IDC_MESSAGE_LIST);
    click.hdr.idFrom = IDC_MESSAGE_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    auto start = std::chrono::steady_clock::now();
    SendMessageW(dialog, WM_NOTIFY, IDC_MESSAGE_LIST, reinterpret_cast<LPARAM>(&click));
    return seconds_since(start);
}

// Each column sorted once, the slowest time printed; returns it.
double time_sorts(HWND dialog, const char* view) {
    static const char* const names[] = {"From", "E-mail Subject", "To", "Date", "deleted mark"};
    double slowest = 0;
    for (int column : {0, 1, 2, 3, 4}) {
        double seconds = click_heading(dialog, column);
        std::fprintf(stderr, "morvale_dialog_bench: sort by %s (%s): %.3f s\n", names[column], view,
                     seconds);
        slowest = std::max(slowest, seconds);
    }
    return slowest;
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
    double seconds = seconds_since(start);
    LRESULT rows = SendMessageW(GetDlgItem(dialog, IDC_MESSAGE_LIST), LVM_GETITEMCOUNT, 0, 0);
    std::fprintf(stderr, "morvale_dialog_bench: %lld rows shown %.2f s after Next\n",
                 static_cast<long long>(rows), seconds);
    double slowest = time_sorts(dialog, "as written");
    auto command = [dialog](int id) {
        auto begin = std::chrono::steady_clock::now();
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        return seconds_since(begin);
    };
    double switched = command(ID_VIEW_DECODED_TEXT);
    std::fprintf(stderr, "morvale_dialog_bench: decoded view shown: %.3f s\n", switched);
    slowest = std::max({slowest, switched, time_sorts(dialog, "decoded")});
    double chosen = command(ID_EDIT_SELECT_ALL);
    std::fprintf(stderr, "morvale_dialog_bench: every row chosen: %.3f s\n", chosen);
    slowest = std::max({slowest, chosen, time_sorts(dialog, "every row chosen")});
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ui.join();
    std::fprintf(stderr, "morvale_dialog_bench: slowest sort or list operation: %.3f s\n", slowest);
    return 0;
}
