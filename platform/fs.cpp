#include "platform/fs.h"

#include "platform/text.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace platform {

void report_error(const char* tag) { std::perror(tag); }

#ifdef _WIN32

std::wstring widen_path(const char* path) {
    std::u16string wide = path_to_utf16(path ? path : "");
    return std::wstring(wide.begin(), wide.end());
}

std::string narrow_utf8(const wchar_t* text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string narrow(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.resize(length - 1);
    return narrow;
}

FILE* open_file(const char* path, const char* mode) {
    return _wfsopen(widen_path(path).c_str(), widen_path(mode).c_str(), _SH_DENYNO);
}

FILE* open_for_overwrite(const char* path) {
    if (is_read_only(path)) {
        errno = EACCES;
        return nullptr;
    }
    return open_file(path, "wb");
}

size_t read_at(FILE* file, uint64_t offset, void* buffer, size_t length) {
    if (_fseeki64(file, static_cast<long long>(offset), SEEK_SET) != 0) return 0;
    return std::fread(buffer, 1, length, file);
}

std::optional<int64_t> file_size(const char* path) {
    struct _stat64 status;
    if (_wstat64(widen_path(path).c_str(), &status) != 0) return std::nullopt;
    return status.st_size;
}

bool is_read_only(const char* path) {
    DWORD attributes = GetFileAttributesW(widen_path(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string absolute_path(const char* path) {
    wchar_t* full = _wfullpath(nullptr, widen_path(path).c_str(), 0);
    if (full == nullptr) return path;
    std::string narrow = narrow_utf8(full);
    free(full);
    return narrow;
}

std::optional<std::string> current_directory() {
    wchar_t* wide = _wgetcwd(nullptr, 0);
    if (wide == nullptr) return std::nullopt;
    std::string narrow = narrow_utf8(wide);
    free(wide);
    return narrow;
}

int change_directory(const char* path) { return _wchdir(widen_path(path).c_str()); }

int make_directory(const char* path) { return _wmkdir(widen_path(path).c_str()); }

int set_file_times(const char* path, int64_t seconds) {
    struct __utimbuf64 times = {seconds, seconds};
    return _wutime64(widen_path(path).c_str(), &times);
}

#else

FILE* open_file(const char* path, const char* mode) { return std::fopen(path, mode); }

// A new file costs one call; only a name already taken is looked at more closely.
FILE* open_for_overwrite(const char* path) {
    int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
        FILE* file = fdopen(descriptor, "wb");
        if (file == nullptr) close(descriptor);
        return file;
    }
    if (errno != EEXIST) return nullptr;
    if (is_read_only(path)) {
        errno = EACCES;
        return nullptr;
    }
    return std::fopen(path, "wb");
}

size_t read_at(FILE* file, uint64_t offset, void* buffer, size_t length) {
    size_t total = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (total < length) {
        ssize_t got = pread(fileno(file), bytes + total, length - total,
                            static_cast<off_t>(offset + total));
        if (got <= 0) break;
        total += static_cast<size_t>(got);
    }
    return total;
}

std::optional<int64_t> file_size(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) return std::nullopt;
    return static_cast<int64_t>(status.st_size);
}

bool is_read_only(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISREG(status.st_mode) &&
           (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::string absolute_path(const char* path) {
    if (path[0] == '/') return path;
    auto current = current_directory();
    if (!current) return path;
    return *current + (current->back() == '/' ? "" : "/") + path;
}

std::optional<std::string> current_directory() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

int change_directory(const char* path) { return chdir(path); }

int make_directory(const char* path) { return mkdir(path, 0777); }

int set_file_times(const char* path, int64_t seconds) {
    struct utimbuf times;
    times.actime = static_cast<time_t>(seconds);
    times.modtime = static_cast<time_t>(seconds);
    return utime(path, &times);
}

#endif

}  // namespace platform
