#include "app/shell_seams.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/framework/file_dialog.h"
#include "app/worker.h"
#include "engine/collection.h"
#include "engine/engine.h"
#include "engine/pst_collection.h"
#include "engine/store_tree.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/read.h"
#include "platform/view.h"

namespace {

void say_pst_failed() {
    if (main_dialog != nullptr)
        main_dialog->message_box("Saving failed: the file could not be written.", "Tavrin Morvale",
                                 0x1030);
}

// A "Save as PST" run: the store's messages (or the chosen ones) go into the file, in a folder
// named and nested as a save run names the store's folder. The file takes its name only when the
// whole run went into it; a stopped run, one that found nothing and one whose file could not be
// written leave none. The box that closes the run comes once the file has its name.
int save_into_pst(const char* pst_path, const char* store_path, const std::vector<chain_id>* chosen,
                  bool replace_existing, scanned_store* scan) {
    std::string store_name = platform::file_name_of(store_path);
    // The store is the run's input: no data file takes its place, whatever was agreed.
    platform::run_outputs.inputs.clear();
    if (auto store = platform::identity_of(store_path))
        platform::run_outputs.inputs.push_back(*store);
    pst_collection pst;
    if (!pst.open(pst_path, store_name, replace_existing)) {
        say_pst_failed();
        return -1;
    }
    run_outcome outcome;
    held_boxes closing;
    int result = collect_store(pst, store_output_names(store_path), store_path, &outcome, chosen,
                               nullptr, scan);
    if (!outcome.store_opened || !outcome.folder_entered || outcome.abandoned ||
        outcome.output_failed) {
        closing.show();
        return -1;
    }
    if (!pst.finish()) {
        closing.drop();  // it would say how a file went that is not there
        say_pst_failed();
        return -1;
    }
    closing.show();
    return result;
}

// Releases a COM interface when it goes.
template <class Interface>
struct com_ptr {
    Interface* p = nullptr;
    ~com_ptr() {
        if (p != nullptr) p->Release();
    }
};

// COM for the calling thread, for as long as one folder dialog is shown.
struct com_apartment {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ~com_apartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
};

std::optional<std::wstring> chosen_folder(IFileOpenDialog* dialog) {
    com_ptr<IShellItem> item;
    if (FAILED(dialog->GetResult(&item.p))) return std::nullopt;
    wchar_t* path = nullptr;
    if (FAILED(item.p->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::wstring();
    std::wstring folder = path;
    CoTaskMemFree(path);
    return folder;
}

std::optional<std::wstring> pick_folder(HWND owner, const std::wstring& title,
                                        const std::wstring& start, DWORD options) {
    com_apartment apartment;
    com_ptr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&dialog.p)))) {
        return std::nullopt;
    }
    DWORD present = 0;
    dialog.p->GetOptions(&present);
    dialog.p->SetOptions(present | options);
    dialog.p->SetTitle(title.c_str());
    com_ptr<IShellItem> start_item;
    if (!start.empty() && SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr,
                                                                IID_PPV_ARGS(&start_item.p)))) {
        dialog.p->SetFolder(start_item.p);
    }
    if (FAILED(dialog.p->Show(owner))) return std::nullopt;  // cancelled
    return chosen_folder(dialog.p);
}

// SHOpenWithDialog comes with Windows Vista and later; it is looked up, so the program
// still starts where it is missing, and then says so.
void open_with_dialog(HWND owner, const std::wstring& file) {
    using open_with_function = HRESULT(WINAPI*)(HWND, const OPENASINFO*);
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    auto open_with = shell == nullptr
                         ? nullptr
                         : reinterpret_cast<open_with_function>(
                               reinterpret_cast<void*>(GetProcAddress(shell, "SHOpenWithDialog")));
    if (open_with == nullptr) {
        MessageBoxW(owner,
                    (L"The message is in " + file + L". Open it with a mail program.").c_str(),
                    L"Tavrin Morvale", MB_ICONINFORMATION);
        return;
    }
    OPENASINFO info{};
    info.pcszFile = file.c_str();
    info.oaifInFlags = OAIF_ALLOW_REGISTRATION | OAIF_EXEC;
    open_with(owner, &info);
}

}  // namespace

shell_seams system_seams() {
    shell_seams real;
    real.message_box = [](HWND owner, const std::wstring& text, const std::wstring& title,
                          UINT flags) {
        return MessageBoxW(owner, text.c_str(), title.c_str(), flags);
    };
    real.run_file_dialog = [](CFileDialog& dialog) { return dialog.DoModal(); };
    real.browse_for_folder = pick_folder;
    real.beep = [](UINT type) { MessageBeep(type); };
    real.shell_open = [](HWND owner, const wchar_t* verb, const std::wstring& file, int show) {
        ShellExecuteW(owner, verb, file.c_str(), nullptr, nullptr, show);
    };
    real.recover = [](const char* target, const char* store_path, scanned_store* scan) {
        return recover_store(target, store_path, nullptr, nullptr, scan);
    };
    real.save_pst = save_into_pst;
    real.recover_chosen = [](const char* target, const char* store_path,
                             const std::vector<chain_id>& chosen, scanned_store* scan) {
        return recover_chosen(target, store_path, chosen, nullptr, scan);
    };
    real.open_document = [](HWND owner, const std::wstring& file) {
        auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(owner, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return result > 32 || (result != SE_ERR_NOASSOC && result != SE_ERR_ASSOCINCOMPLETE);
    };
    real.open_with = open_with_dialog;
    return real;
}

shell_seams seams = system_seams();
