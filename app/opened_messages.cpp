#include "app/opened_messages.h"

#include <algorithm>
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
    if (!write_file(path, *message->text)) {
        error = L"The message could not be written to " + path + L".";
        return L"";
    }
    return path;
}

// Written once, read-only from the start: the program that shows it cannot change it.
bool opened_messages::write_file(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_READONLY, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;  // opened before
    DWORD written = 0;
    bool whole = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                 written == bytes.size();
    CloseHandle(file);
    files_.push_back(path);
    return whole;
}

std::optional<attachment_file> opened_messages::read_attachment(const std::wstring& store_path,
                                                                const message_row& row,
                                                                int engine_index, size_t attachment,
                                                                std::wstring& error) {
    std::optional<message_read> message = source_.read(store_path, row, engine_index, error);
    if (!message) return std::nullopt;
    std::optional<attachment_file> file = attachment_of(*message->text, attachment);
    if (!file) error = L"The message no longer has this attachment.";
    return file;
}

std::wstring opened_messages::write_attachment(const std::wstring& store_path,
                                               const message_row& row, int engine_index,
                                               size_t attachment, std::wstring& error) {
    std::optional<attachment_file> file =
        read_attachment(store_path, row, engine_index, attachment, error);
    if (!file) return L"";
    std::wstring target = folder();
    // A folder for each attachment of each message, so that two of one name never meet and
    // each keeps the name its program knows it by.
    std::wstring own =
        target + L"\\" + std::to_wstring(engine_index) + L"-" + std::to_wstring(attachment);
    if (target.empty() ||
        (!CreateDirectoryW(own.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)) {
        error = L"No temporary folder could be made for the attachment.";
        return L"";
    }
    if (std::find(folders_.begin(), folders_.end(), own) == folders_.end()) folders_.push_back(own);
    std::wstring path = own + L"\\" + platform::widen_path(file->name.c_str());
    if (!write_file(path, file->bytes)) {
        error = L"The attachment could not be written to " + path + L".";
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
    for (const std::wstring& own : folders_) RemoveDirectoryW(own.c_str());
    folders_.clear();
    if (!folder_.empty()) RemoveDirectoryW(folder_.c_str());
    folder_.clear();
}
