// Drives a running Morvale.exe from outside, as a user would, and saves a picture of its
// window: it picks the store in the real file dialog, presses "Next", waits for the list
// to fill, turns on View > Decoded text, enlarges the window, chooses a
// message so that the preview beside the list shows it, and copies the window from the
// screen into a 24-bit BMP file.
//
// Usage: morvale_screenshot MORVALE_EXE STORE_PATH OUT.bmp   (Windows paths)
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/resource.h"

namespace {

HWND wait_for_window(const wchar_t* title, DWORD milliseconds) {
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        HWND window = FindWindowW(L"#32770", title);
        if (window != nullptr && IsWindowVisible(window)) return window;
        Sleep(100);
    }
    return nullptr;
}

void click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The Explorer-style open dialog keeps the typed name in combo box 0x47c (older ones in
// edit box 0x480).
bool type_file_name(HWND file_dialog, const std::wstring& path) {
    for (int id : {0x47c, 0x480}) {
        HWND field = GetDlgItem(file_dialog, id);
        if (field == nullptr) continue;
        SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        return true;
    }
    return false;
}

// Waits until the list has rows and their number has stayed the same for a while.
int wait_for_rows(HWND list, DWORD milliseconds) {
    int last = -1;
    DWORD steady = 0;
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        steady = count == last ? steady + 100 : 0;
        last = count;
        if (count > 0 && steady >= 1500) return count;
        Sleep(100);
    }
    return last;
}

bool save_window_picture(HWND window, const wchar_t* out_path) {
    RECT frame;
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    GdiFlush();
    DWORD stride = (width * 3 + 3) & ~3u;
    DWORD size = stride * height;
    BITMAPFILEHEADER head{};
    head.bfType = 0x4D42;
    head.bfOffBits = sizeof(head) + sizeof(info.bmiHeader);
    head.bfSize = head.bfOffBits + size;
    info.bmiHeader.biSizeImage = size;
    bool written = false;
    if (FILE* out = _wfopen(out_path, L"wb")) {
        written = fwrite(&head, sizeof(head), 1, out) == 1 &&
                  fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out) == 1 &&
                  fwrite(bits, 1, size, out) == size;
        fclose(out);
    }
    SelectObject(memory, old);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written;
}

int fail(const char* what) {
    fprintf(stderr, "morvale_screenshot: %s\n", what);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return fail("usage: morvale_screenshot MORVALE_EXE STORE_PATH OUT.bmp");
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return fail("cannot start the program");
    }
    int status = 1;
    HWND dialog = wait_for_window(L"Tavrin Morvale ver(1.0)", 30000);
    if (dialog == nullptr) {
        fail("the main dialog did not appear");
    } else {
        click(dialog, 1001);
        HWND file_dialog = wait_for_window(L"Select File...", 30000);
        if (file_dialog == nullptr || !type_file_name(file_dialog, argv[2])) {
            fail("the file dialog did not appear");
        } else {
            click(file_dialog, IDOK);
            for (int i = 0; i < 100 && !IsWindowEnabled(GetDlgItem(dialog, IDOK)); ++i) Sleep(100);
            click(dialog, IDOK);
            int rows = wait_for_rows(GetDlgItem(dialog, 1002), 60000);
            // The names and subjects as people read them, not as the mailer encoded them.
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(ID_VIEW_DECODED_TEXT, 0), 0);
            // Enlarged, as a user with a long list would have it (a window opened larger, at
            // a large scale, keeps its size).
            RECT opened{};
            GetWindowRect(dialog, &opened);
            if (opened.right - opened.left < 1040 && opened.bottom - opened.top < 740)
                SetWindowPos(dialog, nullptr, 20, 20, 1040, 740, SWP_NOZORDER);
            // The second message chosen with the keyboard (this program cannot hand the list
            // an item from its own memory): the preview reads it.
            HWND list = GetDlgItem(dialog, 1002);
            for (int key = 0; key < 2; ++key) {
                PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
                PostMessageW(list, WM_KEYUP, VK_DOWN, 0xC0000001);
            }
            for (int i = 0; i < 100; ++i) {
                wchar_t start[16] = {};
                GetDlgItemTextW(dialog, IDC_PREVIEW, start, 16);
                if (start[0] != L'\0' && wcsncmp(start, L"Reading", 7) != 0) break;
                Sleep(100);
            }
            SetForegroundWindow(dialog);
            RedrawWindow(dialog, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Sleep(1000);
            if (rows <= 0) {
                fail("the list stayed empty");
            } else if (save_window_picture(dialog, argv[3])) {
                printf("morvale_screenshot: %d rows listed, picture written\n", rows);
                status = 0;
            } else {
                fail("cannot write the picture");
            }
        }
        // Esc with rows listed asks the exit question; the answer is yes.
        click(dialog, IDCANCEL);
        if (HWND question = wait_for_window(L"Tavrin Morvale", 10000))
            PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}
