#include "app/bench/bench_dialog.h"

#include "app/framework/file_dialog.h"
#include "app/morvale_dlg.h"
#include "app/shell_seams.h"
#include "app/worker.h"

std::thread start_bench_dialog(const std::wstring& store, int answer) {
    seams.message_box = [answer](HWND, const std::wstring&, const std::wstring&, UINT) {
        return answer;
    };
    seams.run_file_dialog = [store](CFileDialog& dialog) -> INT_PTR {
        lstrcpynW(dialog.m_ofn.lpstrFile, store.c_str(), int(dialog.m_ofn.nMaxFile));
        return IDOK;
    };
    return std::thread([] {
        INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&classes);
        CMorvaleDlg dialog;
        dialog.DoModal();
        abandon_run_for_exit(5000);
    });
}

HWND wait_for_dialog() {
    for (int i = 0; i < 2000; ++i) {
        HWND found = FindWindowW(L"#32770", L"Tavrin Morvale ver(1.0)");
        if (found != nullptr && IsWindowVisible(found)) return found;
        Sleep(5);
    }
    return nullptr;
}
