#pragma once
// The save commands' questions: the folder of a save of .eml or .msg files, the file of a
// PST save, the messages of the chosen rows, and the list of what a save could not save.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/framework/window.h"
#include "app/message_list.h"
#include "app/worker.h"

// The chosen store's full path and its file name, and the output folder of saves.
// Written by the UI thread only; a run copies them when it starts.
extern std::wstring dbx_path;
extern std::wstring dbx_file_name;
extern std::wstring save_folder;
// The Personal Folders file a "Save as PST" run writes, and whether the user agreed to
// replace the file that stood under its name when it was chosen.
extern std::wstring pst_file;
extern bool pst_file_replaces;

// The folders of the store and of the save chosen last in an earlier session, where the
// pickers open until one is chosen in this one; empty when none was kept.
extern std::wstring kept_store_folder;
extern std::wstring kept_save_folder;

// The folder a path lies in, with its last separator; empty for a bare name.
std::wstring folder_of(const std::wstring& path);

// What a run of the chosen store is started with now; with `chosen`, a save of those
// messages alone.
run_request run_request_now(const chosen_messages* chosen);

// Where a save's picker opens: where the last save went (in this session, else in the last),
// else in the chosen store's folder.
std::wstring save_picker_folder();

// The folder dialog, opening where save_picker_folder() says.
// False when no usable folder was chosen.
bool choose_save_folder(HWND owner);

// The system's save dialog for the file of a PST save of `store_file_name`. False when
// none was chosen.
bool choose_pst_file(CWnd* owner, const std::wstring& store_file_name);

// Where "Next" saves in the save mode chosen. False when nothing was chosen.
bool choose_where_next_saves(CWnd* owner);

// The messages of the rows at `positions` of the list, whose rows come from `store`;
// none (after saying so) when a row does not say where its message lies.
std::optional<chosen_messages> chosen_rows(HWND owner, const message_list& list,
                                           const std::vector<int>& positions,
                                           const std::wstring& store,
                                           const std::wstring& store_file_name);

// The box that lists each message the last save into `folder` could not save, and why.
void show_save_failures(HWND owner, const std::vector<std::wstring>& failures,
                        const std::wstring& folder);
