#pragma once
// The places where the shell hands over to the user through system dialogs, opens files
// through the shell, or calls the engine. Each is a replaceable function, so the dialog's
// tests can answer and record them; the program uses the real ones.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"

class CFileDialog;

struct shell_seams {
    // MessageBoxW: the button pressed.
    std::function<int(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags)>
        message_box;
    // Runs the open-file dialog modally: IDOK when a file was picked.
    std::function<INT_PTR(CFileDialog& dialog)> run_file_dialog;
    // The system's folder dialog, opened at `start` (when it is not empty) with the
    // dialog's FOS_ options: nullopt when cancelled, else the chosen folder's file-system
    // path, empty when it has none.
    std::function<std::optional<std::wstring>(HWND owner, const std::wstring& title,
                                              const std::wstring& start, DWORD options)>
        browse_for_folder;
    // ShellExecuteW.
    std::function<void(HWND owner, const wchar_t* verb, const std::wstring& file, int show)>
        shell_open;
    // MessageBeep: a refused command.
    std::function<void(UINT type)> beep;
    // The engine entry, and the save run of chosen messages. `scan` as recover_store's: the
    // store as the list's scan left it, or none (the run leaves there the store it scans).
    std::function<int(const char* target, const char* store_path, scanned_store* scan)> recover;
    // A run of the store into the Personal Folders file `pst_path` (UTF-8 paths): every
    // message, or the chosen ones when `chosen` is given. A file that stands there is
    // replaced only when `replace_existing` (the user agreed to it).
    std::function<int(const char* pst_path, const char* store_path,
                      const std::vector<chain_id>* chosen, bool replace_existing,
                      scanned_store* scan)>
        save_pst;
    std::function<int(const char* target, const char* store_path, const std::vector<chain_id>&,
                      scanned_store* scan)>
        recover_chosen;
    // ShellExecuteW for a message file: false when no program is registered for its kind.
    std::function<bool(HWND owner, const std::wstring& file)> open_document;
    // Windows' "Open with" dialog for a file.
    std::function<void(HWND owner, const std::wstring& file)> open_with;
};

extern shell_seams seams;

// The real ones, for restoring after a test.
shell_seams system_seams();
