// morvale_preview_bench FOLDER: writes a store holding one message of about 100 MB (a short
// text and a large attachment) into FOLDER, scans it through the real main dialog, chooses
// its row and prints how long the preview took to show its first screen of text, counted
// from the choice. The list is chosen as a user would: right after the scan.
// windows.h goes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

#include "app/bench/bench_dialog.h"
#include "app/morvale_dlg.h"
#include "app/resource.h"
#include "app/shell_seams.h"
#include "app/worker.h"
#include "platform/text.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

std::string large_message() {
    std::string attachment(75u << 20, '\0');
    for (size_t i = 0; i < attachment.size(); ++i) attachment[i] = char((i * 2654435761u) >> 13);
    std::string encoded = dbxgen::base64(attachment);
    std::string lines;
    lines.reserve(encoded.size() + encoded.size() / 38);
    for (size_t i = 0; i < encoded.size(); i += 76) lines += encoded.substr(i, 76) + "\r\n";
    return "From: Ada <ada@example.com>\r\nTo: Bob <bob@example.com>\r\n"
           "Subject: The whole archive\r\nDate: Tue, 16 Nov 1999 09:48:41 +0000\r\n"
           "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"cut\"\r\n\r\n"
           "--cut\r\nContent-Type: text/plain\r\n\r\nHere is the archive, as promised.\r\n"
           "--cut\r\nContent-Type: application/octet-stream; name=\"archive.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           lines + "--cut--\r\n";
}

// The pane shows the message once its header's first line is the sender's.
bool pane_shows_message(HWND dialog) {
    wchar_t start[16] = {};
    GetDlgItemTextW(dialog, IDC_PREVIEW_HEADER, start, 16);
    return wcsncmp(start, L"From:", 5) == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvale_preview_bench FOLDER\n");
        return 2;
    }
    std::wstring store = std::wstring(argv[1]) + L"\\Large.dbx";
    {
        std::string text = large_message();
        dbxgen::store_image image;
        image.put_signature();
        dbxgen::random_source random(3);
        image.add_message(text, dbxgen::lay_out_blocks(0x200, dbxgen::live_blocks_for(text.size()),
                                                       dbxgen::block_order::in_order, random));
        std::u16string path(store.begin(), store.end());
        if (!image.write_file(platform::utf16_to_utf8(path))) {
            std::fprintf(stderr, "morvale_preview_bench: cannot write the store\n");
            return 1;
        }
        std::fprintf(stderr, "morvale_preview_bench: a message of %zu bytes\n", text.size());
    }
    std::thread ui = start_bench_dialog(store, IDYES);
    HWND dialog = wait_for_dialog();
    if (dialog == nullptr) {
        std::fprintf(stderr, "morvale_preview_bench: the dialog did not appear\n");
        ui.join();
        return 1;
    }
    MoveWindow(dialog, 0, 0, 1400, 700, TRUE);
    SendMessageW(GetDlgItem(dialog, IDC_BROWSE), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    while (run_in_progress()) Sleep(1);
    LVITEMW chosen{};
    chosen.stateMask = chosen.state = LVIS_SELECTED | LVIS_FOCUSED;
    auto start = std::chrono::steady_clock::now();
    SendMessageW(GetDlgItem(dialog, IDC_MESSAGE_LIST), LVM_SETITEMSTATE, 0,
                 reinterpret_cast<LPARAM>(&chosen));
    while (!pane_shows_message(dialog)) Sleep(1);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ui.join();
    DeleteFileW(store.c_str());
    std::printf("preview of a 100 MB message, first screen: %.3f s\n", seconds);
    return 0;
}
