#include "platform/fs.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

void report_error(const char* tag) {
    std::perror(tag);
}

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

entry_kind entry_at(const char* path) {
    DWORD attributes = GetFileAttributesW(widen_path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return entry_kind::none;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return entry_kind::link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return entry_kind::directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return entry_kind::other;
    return attributes & FILE_ATTRIBUTE_READONLY ? entry_kind::read_only : entry_kind::file;
}

FILE* create_new_file(const char* path) {
    int descriptor =
        _wopen(widen_path(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
    FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) _close(descriptor);
    return file;
}

int replace_file(const char* from, const char* to) {
    if (MoveFileExW(widen_path(from).c_str(), widen_path(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return 0;
    DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED ? EACCES : error == ERROR_DISK_FULL ? ENOSPC : EIO;
    return -1;
}

int remove_file(const char* path) {
    return _wunlink(widen_path(path).c_str());
}

std::optional<int64_t> file_size(const char* path) {
    struct _stat64 status;
    if (_wstat64(widen_path(path).c_str(), &status) != 0) return std::nullopt;
    return status.st_size;
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

int change_directory(const char* path) {
    return _wchdir(widen_path(path).c_str());
}

int make_directory(const char* path) {
    return _wmkdir(widen_path(path).c_str());
}

int set_file_times(const char* path, int64_t seconds) {
    struct __utimbuf64 times = {seconds, seconds};
    return _wutime64(widen_path(path).c_str(), &times);
}

#else

FILE* open_file(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

entry_kind entry_at(const char* path) {
    struct stat status;
    if (lstat(path, &status) != 0) return entry_kind::none;
    if (S_ISLNK(status.st_mode)) return entry_kind::link;
    if (S_ISDIR(status.st_mode)) return entry_kind::directory;
    if (!S_ISREG(status.st_mode)) return entry_kind::other;
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ? entry_kind::read_only
                                                                 : entry_kind::file;
}

FILE* create_new_file(const char* path) {
    int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0) return nullptr;
    FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) close(descriptor);
    return file;
}

int replace_file(const char* from, const char* to) {
    return std::rename(from, to);
}

int remove_file(const char* path) {
    return unlink(path);
}

std::optional<int64_t> file_size(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) return std::nullopt;
    return static_cast<int64_t>(status.st_size);
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

int change_directory(const char* path) {
    return chdir(path);
}

int make_directory(const char* path) {
    return mkdir(path, 0777);
}

// A link under the name keeps its target's times: only the file itself is stamped.
int set_file_times(const char* path, int64_t seconds) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW);
}

#endif

bool is_path_separator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

namespace {

template <class Path>
size_t name_start(const Path& path) {
    size_t at = path.size();
    auto separates = [](auto c) {
        return static_cast<unsigned long>(c) < 0x80 && is_path_separator(char(c));
    };
    while (at > 0 && !separates(path[at - 1])) --at;
#ifdef _WIN32
    if (at == 0 && path.size() >= 2 && path[1] == ':') at = 2;
#endif
    return at;
}

}  // namespace

size_t file_name_start(const std::string& path) {
    return name_start(path);
}

#ifdef _WIN32
size_t file_name_start(std::wstring_view path) {
    return name_start(path);
}
#endif

std::string file_name_of(const std::string& path) {
    return path.substr(file_name_start(path));
}

bool is_device_name(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    static constexpr const char* devices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : devices) {
        if (equal_ignoring_case(stem, device)) return true;
    }
    return stem.size() == 4 &&
           (equal_ignoring_case(stem.substr(0, 3), "COM") ||
            equal_ignoring_case(stem.substr(0, 3), "LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

bool read_whole_file(const char* path, std::string& text) {
    FILE* file = open_file(path, "rb");
    if (file == nullptr) return false;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed && errno == 0) errno = EIO;
    return !failed;
}

long long process_id() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

}  // namespace platform
