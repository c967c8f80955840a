#include "app/opened_messages.h"

#include <string>

#include "engine/read_message.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/view.h"

namespace {

std::string to_utf8(const std::wstring& text) {
    return platform::utf16_to_utf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// A message name as the file calls take it, the same way a save names its file.
std::wstring name_as_path(const std::string& name) {
    std::u16string text = platform::path_to_utf16(name);
    return std::wstring(text.begin(), text.end());
}

// Takes the one row the summary makes while the message is read again.
class row_catcher : public main_view {
  public:
    int item_count() override { return 1; }
    void insert_item(int) override {}
    void set_item_text(int, int column, const std::u16string& text) override {
        if (column >= 0 && column < 4) cells[size_t(column)] = text;
    }
    void set_progress(int) override {}
    int message_box(const std::string&, const std::string&, unsigned) override { return 1; }

    std::array<std::u16string, 4> cells;
};

// The message of a row: the rows come list by list, each chain in order.
bool locate(const dbx_t& store, int row, int& list, int& chain) {
    list = 0;
    chain = row;
    if (chain >= store.lists[0].chain_count) {
        chain -= store.lists[0].chain_count;
        list = 1;
    }
    return chain >= 0 && chain < store.lists[list].chain_count;
}

}  // namespace

void opened_messages::store_closer::operator()(dbx_t* store) const {
    dbx_close(store);
}

// The scan is kept, so the next message of the same store opens at once; the file itself
// is closed between openings, so the store is never held open while the user works.
bool opened_messages::have_store(const std::wstring& store_path) {
    std::string path = to_utf8(store_path);
    if (store_ && store_path_ == store_path) {
        store_->file = platform::open_file(path.c_str(), "rb");
        return store_->file != nullptr;
    }
    store_.reset(dbx_open(path.c_str()));
    store_path_ = store_path;
    return store_ != nullptr;
}

std::wstring opened_messages::folder() {
    if (!folder_.empty()) return folder_;
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH + 1, temp) == 0) return L"";
    std::wstring made =
        std::wstring(temp) + L"Tavrin Morvale " + std::to_wstring(GetCurrentProcessId());
    if (!CreateDirectoryW(made.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return L"";
    folder_ = made;
    return folder_;
}

std::wstring opened_messages::write(const std::wstring& store_path, int row,
                                    const std::array<std::u16string, 4>& cells,
                                    std::wstring& error) {
    if (!have_store(store_path)) {
        error = L"The store " + store_path + L" cannot be read any more.";
        return L"";
    }
    int list = 0, chain = 0;
    row_catcher catcher;
    message_read message;
    if (locate(*store_, row, list, chain))
        message = _read_message(&catcher, store_.get(), list, chain, 1);
    std::fclose(store_->file);
    store_->file = nullptr;
    if (!message.text || catcher.cells != cells) {
        store_.reset();  // the store changed since the run: scan it anew next time
        error = L"This message is no longer where it was found in " + store_path +
                L": the store has changed. Scan it again.";
        return L"";
    }
    std::wstring target = folder();
    if (target.empty()) {
        error = L"No temporary folder could be made for the message.";
        return L"";
    }
    std::wstring path = target + L"\\" + name_as_path(message.name);
    // Written once, read-only from the start: the mail program shows it and cannot change it.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_READONLY, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_EXISTS) return path;  // opened before
        error = L"The message could not be written to " + path + L".";
        return L"";
    }
    DWORD written = 0;
    bool whole =
        WriteFile(file, message.text->data(), DWORD(message.text->size()), &written, nullptr) &&
        written == message.text->size();
    CloseHandle(file);
    files_.push_back(path);
    if (!whole) {
        error = L"The message could not be written to " + path + L".";
        return L"";
    }
    return path;
}

void opened_messages::remove_files() {
    for (const std::wstring& path : files_) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    files_.clear();
    if (!folder_.empty()) RemoveDirectoryW(folder_.c_str());
    folder_.clear();
}
