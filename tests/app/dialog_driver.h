#pragma once
// Runs the real main dialog, made from the program's own resources, modally on a UI
// thread of its own, and drives it from the test thread with window messages. The
// system dialogs, the shell and (when a test asks) the engine are answered by scripts and
// recorded.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct box_call {
    std::wstring text;
    std::wstring title;
    UINT flags;
    bool owned_by_dialog;
};

struct file_dialog_call {
    DWORD flags;
    std::wstring filter;  // NULs shown as '|'
    std::wstring title;
    bool owned_by_dialog;
    bool open_mode;
    std::wstring initial_dir;
};

struct folder_call {
    std::wstring title;
    DWORD options;
    bool owned_by_dialog;
    std::wstring start;
};

class dialog_test : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Scripts. An empty answer queue answers IDOK / cancel.
    void answer_box(std::function<int()> answer);
    void answer_box(int button) {
        answer_box([button] { return button; });
    }
    // The file dialog picks this buffer (names separated by NULs: "folder\0a\0b" or "path").
    void pick_files(const std::wstring& buffer);
    void pick_store(const std::string& utf8_path);
    void cancel_file_dialog();
    void choose_folder(std::optional<std::wstring> folder);
    // Replaces the engine for this test.
    void use_engine(std::function<int(const char*, const char*)> engine);

    // Ends the dialog (answering Yes to the Exit question) and opens a new one.
    void end_dialog();
    void start_dialog();

    // The dialog.
    HWND item(int id) const { return GetDlgItem(window, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    bool checked(int id) const { return SendMessageW(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool menu_enabled(UINT id) const;
    void click(int id);     // a real click (BM_CLICK) on a button
    void command(UINT id);  // WM_COMMAND as a menu or a button sends it
    int rows() const;
    std::wstring cell(int row, int column) const;
    int progress() const;
    bool wait_for_run_end(DWORD milliseconds = 60000);
    bool wait_for_dialog_end(DWORD milliseconds = 60000);

    std::vector<box_call> boxes();
    std::vector<std::pair<std::string, std::string>> engine_calls();  // (target or "<null>", store)

    HWND window = nullptr;
    std::wstring start_store;  // the store the program's command line names
    std::atomic<bool> dialog_ended{false};
    std::atomic<int> beeps{0};
    INT_PTR dialog_result = 0;
    bool run_ended_at_exit = false;

    std::mutex lock;
    std::vector<box_call> box_calls;
    std::deque<std::function<int()>> box_answers;
    std::vector<file_dialog_call> file_dialog_calls;
    std::deque<std::optional<std::wstring>> file_picks;
    std::vector<folder_call> folder_calls;
    std::deque<std::optional<std::wstring>> folder_answers;
    std::vector<std::wstring> opened;  // verb + " " + file + " " + show
    bool open_document_answer = true;  // whether a program is registered for messages
    std::vector<std::pair<std::string, std::string>> engine_call_list;
    std::function<int(const char*, const char*)> engine;  // none: the real one
    std::vector<bool> scans_given;  // by engine call: it was given the list's scan

  private:
    std::thread ui_thread_;
};

// Waits until `done` answers true; false when it still does not after the time, which no
// healthy run comes near however busy the machine is.
bool wait_until(const std::function<bool()>& done, DWORD milliseconds = 60000);

// UTF-8 <-> UTF-16 for test paths.
std::wstring wide(const std::string& utf8);
std::string utf8(const std::wstring& text);

// Writes a generated store of live messages and deleted fragments; returns its path.
std::string make_store(const std::string& path, int messages, int deleted, uint64_t seed = 11);

// Every file under a folder, as paths relative to it, sorted.
std::vector<std::string> files_under(const std::string& folder);
