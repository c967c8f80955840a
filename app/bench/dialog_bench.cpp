// morvale_dialog_bench STORE: scans a store through the real main dialog, as a user would
// with "Browse..." and "Next", and prints how long the first rows and then all of them took
// to show and the longest the window kept the user waiting meanwhile, then how long a
// click on each column heading takes to sort them, as written and decoded, and with every
// row chosen. The file dialog and the message boxes answer by themselves.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstdint>
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

// The processor time the dialog's thread has spent, in seconds: on a busy machine the time
// an operation takes on the clock says more about the machine than about the operation.
double window_thread_seconds(HWND dialog) {
    HANDLE thread =
        OpenThread(THREAD_QUERY_INFORMATION, FALSE, GetWindowThreadProcessId(dialog, nullptr));
    FILETIME created, ended, kernel, user;
    double seconds = 0;
    if (thread != nullptr && GetThreadTimes(thread, &created, &ended, &kernel, &user)) {
        auto ticks = [](const FILETIME& time) {
            return double(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 1e7;
        };
        seconds = ticks(kernel) + ticks(user);
    }
    if (thread != nullptr) CloseHandle(thread);
    return seconds;
}

// How long something done on the dialog's thread took: on the clock, and on that thread.
struct timing {
    double clock = 0;
    double thread = 0;
};

template <class Action>
timing time_on_window(HWND dialog, Action action) {
    double thread_before = window_thread_seconds(dialog);
    auto start = std::chrono::steady_clock::now();
    action();
    return {seconds_since(start), window_thread_seconds(dialog) - thread_before};
}

// A click on a column heading, as the list reports it to the dialog.
timing click_heading(HWND dialog, int column) {
    NMLISTVIEW click{};
    click.hdr.hwndFrom = GetDlgItem(dialog, IDC_MESSAGE_LIST);
    click.hdr.idFrom = IDC_MESSAGE_LIST;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    return time_on_window(dialog, [&] {
        SendMessageW(dialog, WM_NOTIFY, IDC_MESSAGE_LIST, reinterpret_cast<LPARAM>(&click));
    });
}

void print(const char* what, timing took) {
    std::fprintf(stderr, "morvale_dialog_bench: %s: %.3f s (%.3f s on the window's thread)\n", what,
                 took.clock, took.thread);
}

// Each column sorted once; returns the most time the window's thread spent on one.
double time_sorts(HWND dialog, const char* view) {
    static const char* const names[] = {"From", "E-mail Subject", "To", "Date", "deleted mark"};
    double slowest = 0;
    for (int column : {0, 1, 2, 3, 4}) {
        timing took = click_heading(dialog, column);
        std::string what = std::string("sort by ") + names[column] + " (" + view + ")";
        print(what.c_str(), took);
        slowest = std::max(slowest, took.thread);
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
    // While the run goes the window is asked, again and again, for an answer: the longest
    // wait is the longest the window was kept from the user (rows found, rows replaced).
    double first_rows = 0, longest_wait = 0;
    HWND list = GetDlgItem(dialog, IDC_MESSAGE_LIST);
    while (run_in_progress()) {
        auto asked = std::chrono::steady_clock::now();
        LRESULT listed = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        longest_wait = std::max(longest_wait, seconds_since(asked));
        if (listed > 0 && first_rows == 0) first_rows = seconds_since(start);
        Sleep(1);
    }
    double seconds = seconds_since(start);
    LRESULT rows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    std::fprintf(stderr,
                 "morvale_dialog_bench: first rows shown %.2f s after Next; %lld rows shown %.2f "
                 "s after Next; the window answered within %.3f s throughout\n",
                 first_rows, static_cast<long long>(rows), seconds, longest_wait);
    double slowest = time_sorts(dialog, "as written");
    auto command = [dialog](int id) {
        return time_on_window(dialog,
                              [&] { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0); });
    };
    timing switched = command(ID_VIEW_DECODED_TEXT);
    print("decoded view shown", switched);
    slowest = std::max({slowest, switched.thread, time_sorts(dialog, "decoded")});
    timing chosen = command(ID_EDIT_SELECT_ALL);
    print("every row chosen", chosen);
    slowest = std::max({slowest, chosen.thread, time_sorts(dialog, "every row chosen")});
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ui.join();
    std::fprintf(stderr,
                 "morvale_dialog_bench: slowest sort or list operation: %.3f s on the window's "
                 "thread\n",
                 slowest);
    return 0;
}
