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

namespace {

// The folder names of a relative path, in order, empty names and "." left out; none
// (EINVAL) when one is "..", which would climb out of the folder it is made in.
std::optional<std::vector<std::string>> folder_steps(const std::string& relative,
                                                     const char* separators) {
    std::vector<std::string> steps;
    for (size_t start = 0; start <= relative.size();) {
        size_t end = relative.find_first_of(separators, start);
        if (end == std::string::npos) end = relative.size();
        std::string name = relative.substr(start, end - start);
        start = end + 1;
        if (name == "..") {
            errno = EINVAL;
            return std::nullopt;
        }
        if (!name.empty() && name != ".") steps.push_back(std::move(name));
    }
    return steps;
}

}  // namespace

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

// Windows has no mkdirat: each folder is made by its path and looked at without following
// a reparse point (a link or a junction) before the next is made inside it.
int make_folders_below(const char* base, const std::string& relative) {
    std::optional<std::vector<std::string>> steps = folder_steps(relative, "/\\");
    if (!steps) return -1;
    std::string path = base;
    for (const std::string& name : *steps) {
        path += "\\" + name;
        if (_wmkdir(widen_path(path.c_str()).c_str()) != 0 && errno != EEXIST) return -1;
        entry_kind kind = entry_at(path.c_str());
        if (kind != entry_kind::directory) {
            errno = kind == entry_kind::link ? ELOOP : ENOTDIR;
            return -1;
        }
    }
    return 0;
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

// Each folder is made inside the one before through its descriptor, and opened with
// O_NOFOLLOW before the next is made in it: a link put anywhere on the way is never
// gone through, even if it appears between two steps.
int make_folders_below(const char* base, const std::string& relative) {
    std::optional<std::vector<std::string>> steps = folder_steps(relative, "/");
    if (!steps) return -1;
    int folder = open(base, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return -1;
    for (const std::string& name : *steps) {
        int inner = -1;
        if (mkdirat(folder, name.c_str(), 0777) == 0 || errno == EEXIST) {
            inner = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat status;
            if (inner < 0 && errno == ENOTDIR &&
                fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(status.st_mode)) {
                errno = ELOOP;  // a link, which O_NOFOLLOW with O_DIRECTORY tells as no folder
            }
        }
        int error = errno;
        close(folder);
        if (inner < 0) {
            errno = error;
            return -1;
        }
        folder = inner;
    }
    close(folder);
    return 0;
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
