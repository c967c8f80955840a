#include "app/save_commands.h"

#include <io.h>
#include <shobjidl.h>

#include "app/framework/file_dialog.h"
#include "app/message_flags.h"
#include "app/shell_seams.h"
#include "app/wide_text.h"
#include "engine/engine.h"
#include "platform/fs.h"

std::wstring dbx_path;
std::wstring dbx_file_name;
std::wstring save_folder;
std::wstring pst_file;
bool pst_file_replaces = false;
std::wstring kept_store_folder;
std::wstring kept_save_folder;

namespace {

const wchar_t* const no_folder_text =
    L"Saving path doesn't exist, please select another path for saving.";

}  // namespace

std::wstring folder_of(const std::wstring& path) {
    return path.substr(0, platform::file_name_start(path));
}

run_request run_request_now(const chosen_messages* chosen) {
    run_request request;
    request.store_path = chosen ? chosen->store_path : dbx_path;
    request.store_file_name = chosen ? chosen->store_file_name : dbx_file_name;
    request.save_folder = save_folder;
    request.pst_file = pst_file;
    request.pst_file_replaces = pst_file_replaces;
    if (chosen) request.chosen = chosen->chains;
    return request;
}

std::wstring save_picker_folder() {
    if (!save_folder.empty()) return save_folder;
    if (!kept_save_folder.empty()) return kept_save_folder;
    return folder_of(dbx_path);
}

bool choose_save_folder(HWND owner) {
    std::optional<std::wstring> folder =
        seams.browse_for_folder(owner, L"Select the Path to Save Recovered Contacts File",
                                save_picker_folder(), FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    if (!folder) return false;
    save_folder = *folder;
    if (save_folder.empty()) {
        seams.message_box(owner, no_folder_text, L"Tavrin for Morvale", system_information_box);
        return false;
    }
    if (_waccess(save_folder.c_str(), 0) != 0) {
        seams.message_box(owner, no_folder_text, L"Tavrin for Morvale", information_box);
        return false;
    }
    return true;
}

// "<store name>.pst" is offered in the folder of the last save, else in the store's; the
// dialog asks before a file that stands there is replaced.
bool choose_pst_file(CWnd* owner, const std::wstring& store_file_name) {
    std::wstring name = store_file_name;
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".dbx") == 0)
        name.resize(name.size() - 4);
    CFileDialog dialog(FALSE, L"pst", (name + L".pst").c_str(),
                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                       L"Outlook Data File (*.pst)|*.pst||", owner, 0, TRUE);
    dialog.m_ofn.lpstrTitle = L"Save as Outlook Data File";
    std::wstring start = save_picker_folder();
    if (!start.empty()) dialog.m_ofn.lpstrInitialDir = start.c_str();
    if (seams.run_file_dialog(dialog) != IDOK) return false;
    pst_file = dialog.GetPathName();
    // The dialog asked before a file that stands there is chosen: it may be replaced.
    pst_file_replaces = GetFileAttributesW(pst_file.c_str()) != INVALID_FILE_ATTRIBUTES;
    return true;
}

// Into the folder chosen last when it is there, else into one asked for now, never where
// nobody chose; a PST into a file asked for now, as its name follows the store.
bool choose_where_next_saves(CWnd* owner) {
    int mode = save_mode.load();
    if (mode == 3) return choose_pst_file(owner, dbx_file_name);
    if (mode != 1 && mode != 2) return true;
    if (!save_folder.empty() && _waccess(save_folder.c_str(), 0) == 0) return true;
    return choose_save_folder(owner->m_hWnd);
}

std::optional<chosen_messages> chosen_rows(HWND owner, const message_list& list,
                                           const std::vector<int>& positions,
                                           const std::wstring& store,
                                           const std::wstring& store_file_name) {
    chosen_messages chosen{store, store_file_name, {}};
    for (int position : positions) {
        const message_row& row = list.shown(position);
        if (row.chain < 0) {
            seams.message_box(owner,
                              L"These rows do not say where their messages lie. Scan the store "
                              L"again.",
                              L"Tavrin Morvale", warning_box);
            return std::nullopt;
        }
        chosen.chains.push_back({row.list, row.chain});
    }
    return chosen;
}

void show_save_failures(HWND owner, const std::vector<std::wstring>& failures,
                        const std::wstring& folder) {
    if (failures.empty()) return;
    constexpr size_t listed_at_most = 30;
    std::wstring text = counted(int(failures.size()), L"message was", L"messages were") +
                        L" not saved into " + folder + L":\n";
    for (size_t i = 0; i < failures.size() && i < listed_at_most; ++i) text += L"\n" + failures[i];
    if (failures.size() > listed_at_most)
        text += L"\n... and " + grouped((long long)(failures.size() - listed_at_most)) + L" more";
    seams.message_box(owner, text, L"Tavrin Morvale", MB_ICONWARNING);
}
