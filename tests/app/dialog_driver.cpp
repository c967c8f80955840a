#include "dialog_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <filesystem>

#include "app/framework/file_dialog.h"
#include "app/morvale_dlg.h"
#include "app/shell_seams.h"
#include "app/worker.h"
#include "engine/engine.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "tools/dbxgen/dbxgen.h"

std::wstring wide(const std::string& text) {
    std::u16string converted = platform::utf8_to_utf16(text);
    return std::wstring(converted.begin(), converted.end());
}

std::string utf8(const std::wstring& text) {
    return platform::utf16_to_utf8(std::u16string(text.begin(), text.end()));
}

std::string make_store(const std::string& path, int messages, int deleted, uint64_t seed) {
    FILE* out = platform::open_file(path.c_str(), "wb");
    EXPECT_NE(out, nullptr) << path;
    dbxgen::store_options options;
    options.seed = seed;
    options.messages = messages;
    options.deleted = deleted;
    dbxgen::write_store(options, out);
    fclose(out);
    return path;
}

std::vector<std::string> files_under(const std::string& folder) {
    std::vector<std::string> found;
    std::filesystem::path root = std::filesystem::u8path(folder);
    std::error_code ignored;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
        if (!entry.is_regular_file()) continue;
        auto relative = std::filesystem::relative(entry.path(), root).u8string();
        found.emplace_back(relative.begin(), relative.end());
    }
    std::sort(found.begin(), found.end());
    return found;
}

void dialog_test::SetUp() {
    dbx_path.clear();
    dbx_file_name.clear();
    save_folder.clear();
    save_mode = 0;
    engine = nullptr;  // the real one

    seams.message_box = [this](HWND owner, const std::wstring& text, const std::wstring& title,
                               UINT flags) {
        std::function<int()> answer;
        {
            std::lock_guard<std::mutex> hold(lock);
            box_calls.push_back({text, title, flags, owner == window && owner != nullptr});
            if (!box_answers.empty()) {
                answer = box_answers.front();
                box_answers.pop_front();
            }
        }
        return answer ? answer() : IDOK;
    };
    seams.run_file_dialog = [this](CFileDialog& dialog) -> INT_PTR {
        std::lock_guard<std::mutex> hold(lock);
        std::wstring filter(dialog.filter().c_str(), dialog.filter().size());
        std::replace(filter.begin(), filter.end(), L'\0', L'|');
        file_dialog_calls.push_back(
            {dialog.m_ofn.Flags, filter, dialog.m_ofn.lpstrTitle ? dialog.m_ofn.lpstrTitle : L"",
             dialog.m_ofn.hwndOwner == window, dialog.m_bOpenFileDialog != FALSE,
             dialog.m_ofn.lpstrInitialDir ? dialog.m_ofn.lpstrInitialDir : L""});
        if (file_picks.empty() || !file_picks.front()) {
            if (!file_picks.empty()) file_picks.pop_front();
            return IDCANCEL;
        }
        std::wstring buffer = *file_picks.front() + std::wstring(2, L'\0');
        file_picks.pop_front();
        std::copy(buffer.begin(), buffer.end(), dialog.m_ofn.lpstrFile);
        return IDOK;
    };
    seams.browse_for_folder = [this](HWND owner, const std::wstring& title,
                                     const std::wstring& start, DWORD options) {
        std::lock_guard<std::mutex> hold(lock);
        folder_calls.push_back({title, options, owner == window, start});
        std::optional<std::wstring> answer;
        if (!folder_answers.empty()) {
            answer = folder_answers.front();
            folder_answers.pop_front();
        }
        return answer;
    };
    seams.shell_open = [this](HWND, const wchar_t* verb, const std::wstring& file, int show) {
        std::lock_guard<std::mutex> hold(lock);
        opened.push_back(std::wstring(verb) + L" " + file + L" " + std::to_wstring(show));
    };
    seams.open_document = [this](HWND, const std::wstring& file) {
        std::lock_guard<std::mutex> hold(lock);
        opened.push_back(L"open " + file + L" 1");
        return open_document_answer;
    };
    seams.open_with = [this](HWND, const std::wstring& file) {
        std::lock_guard<std::mutex> hold(lock);
        opened.push_back(L"open with " + file);
    };
    seams.beep = [this](UINT) { ++beeps; };
    seams.recover = [this](const char* target, const char* store, scanned_store* scan) {
        {
            std::lock_guard<std::mutex> hold(lock);
            engine_call_list.emplace_back(target ? target : "<null>", store);
            scans_given.push_back(scan != nullptr && *scan != nullptr);
        }
        if (engine) return engine(target, store);
        return recover_store(target, store, nullptr, nullptr, scan);
    };

    start_dialog();
}

void dialog_test::start_dialog() {
    window = nullptr;
    dialog_ended = false;
    ui_thread_ = std::thread([this] {
        INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&classes);
        CMorvaleDlg dialog;
        if (!start_store.empty()) dialog.choose_store_at_start(start_store);
        dialog_result = dialog.DoModal();
        run_ended_at_exit = abandon_run_for_exit(5000);
        dialog_ended = true;
    });
    wait_until([this] {
        HWND found = FindWindowW(L"#32770", L"Tavrin Morvale ver(1.0)");
        if (found != nullptr && IsWindowVisible(found)) window = found;
        return window != nullptr || dialog_ended;
    });
    ASSERT_NE(window, nullptr) << "the main dialog did not appear";
}

void dialog_test::end_dialog() {
    if (!dialog_ended && window != nullptr) {
        {
            std::lock_guard<std::mutex> hold(lock);  // rows in the list: Esc asks first
            box_answers.clear();
            box_answers.push_back([] { return IDYES; });
        }
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    }
    if (ui_thread_.joinable()) ui_thread_.join();
}

void dialog_test::TearDown() {
    end_dialog();
    wait_for_run_end(10000);
    seams = system_seams();
}

void dialog_test::answer_box(std::function<int()> answer) {
    std::lock_guard<std::mutex> hold(lock);
    box_answers.push_back(std::move(answer));
}

void dialog_test::pick_files(const std::wstring& buffer) {
    std::lock_guard<std::mutex> hold(lock);
    file_picks.push_back(buffer);
}

void dialog_test::pick_store(const std::string& utf8_path) {
    pick_files(wide(utf8_path));
}

void dialog_test::cancel_file_dialog() {
    std::lock_guard<std::mutex> hold(lock);
    file_picks.push_back(std::nullopt);
}

void dialog_test::choose_folder(std::optional<std::wstring> folder) {
    std::lock_guard<std::mutex> hold(lock);
    folder_answers.push_back(std::move(folder));
}

void dialog_test::use_engine(std::function<int(const char*, const char*)> replacement) {
    engine = std::move(replacement);
}

bool dialog_test::menu_enabled(UINT id) const {
    UINT state = GetMenuState(GetMenu(window), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

void dialog_test::click(int id) {
    SendMessageW(item(id), BM_CLICK, 0, 0);
}

void dialog_test::command(UINT id) {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

int dialog_test::rows() const {
    return static_cast<int>(SendMessageW(item(1002), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring dialog_test::cell(int row, int column) const {
    wchar_t text[1024] = {};
    LVITEMW request{};
    request.iSubItem = column;
    request.pszText = text;
    request.cchTextMax = 1024;
    SendMessageW(item(1002), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&request));
    return text;
}

int dialog_test::progress() const {
    return static_cast<int>(SendMessageW(item(1007), PBM_GETPOS, 0, 0));
}

bool wait_until(const std::function<bool()>& done, DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= milliseconds) return done();
        Sleep(10);
    }
    return true;
}

bool dialog_test::wait_for_run_end(DWORD milliseconds) {
    return wait_until([] { return !run_in_progress(); }, milliseconds);
}

bool dialog_test::wait_for_dialog_end(DWORD milliseconds) {
    return wait_until([this] { return dialog_ended.load(); }, milliseconds);
}

std::vector<box_call> dialog_test::boxes() {
    std::lock_guard<std::mutex> hold(lock);
    return box_calls;
}

std::vector<std::pair<std::string, std::string>> dialog_test::engine_calls() {
    std::lock_guard<std::mutex> hold(lock);
    return engine_call_list;
}
