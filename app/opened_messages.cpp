#include "app/opened_messages.h"

#include <string>

#include "platform/fs.h"

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

std::wstring opened_messages::write(const std::wstring& store_path, const message_row& row,
                                    int engine_index, std::wstring& error) {
    std::optional<message_read> message = source_.read(store_path, row, engine_index, error);
    if (!message) return L"";
    std::wstring target = folder();
    if (target.empty()) {
        error = L"No temporary folder could be made for the message.";
        return L"";
    }
    // The message's name as the file calls take it, the same way a save names its file.
    std::wstring path = target + L"\\" + platform::widen_path(message->name.c_str());
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
        WriteFile(file, message->text->data(), DWORD(message->text->size()), &written, nullptr) &&
        written == message->text->size();
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
