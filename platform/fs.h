#pragma once
// File-system calls on UTF-8 paths. On Windows each path becomes UTF-16 (valid UTF-8 as
// UTF-8, anything else byte by byte through the ANSI code page) and goes to the wide
// runtime call; elsewhere the bytes pass through unchanged. Failures set errno.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// fopen; on Windows the file is opened shared, so other processes may open it too.
FILE* open_file(const char* path, const char* mode);

// What stands under a name, looked at without following a link there.
enum class entry_kind {
    none,       // nothing
    file,       // a regular file that may be written
    read_only,  // a regular file that nobody may write
    directory,
    link,   // a symbolic link (on Windows any reparse point)
    other,  // a device, a pipe, a socket
};
entry_kind entry_at(const char* path);

// Creates a new file for writing, failing (EEXIST) when anything stands under the name,
// a link included.
FILE* create_new_file(const char* path);

// Gives the file `from` the name `to`, replacing a file of that name (rename; on Windows
// MoveFileExW with MOVEFILE_REPLACE_EXISTING).
int replace_file(const char* from, const char* to);

// Removes a file; -1 with errno set on failure.
int remove_file(const char* path);

// The size of a file in bytes; nullopt (errno set) when its status cannot be read.
std::optional<int64_t> file_size(const char* path);

// The path made absolute against the current directory (on Windows: _wfullpath).
std::string absolute_path(const char* path);

// The current working directory, UTF-8; nullopt (errno set) on failure.
std::optional<std::string> current_directory();

// chdir and mkdir: 0 on success, -1 with errno set on failure.
int change_directory(const char* path);
int make_directory(const char* path);

// Sets the last-access and last-modification times to `seconds` since 1970 UTC.
int set_file_times(const char* path, int64_t seconds);

// The runtime's error report: "tag: <text of errno>\n" on standard error.
void report_error(const char* tag);

// Appends the whole file at `path` to `text`; false (errno set) when it cannot be opened or
// a read fails.
bool read_whole_file(const char* path, std::string& text);

// This process's id, for names that must be the run's own.
long long process_id();

// Whether `c` separates the folders of a path: '/' and, on Windows, '\\' too.
bool is_path_separator(char c);
// Where the file name of a path starts: after its last separator or, on Windows, after the
// colon of a drive ("C:Inbox.dbx"); 0 when it has neither.
size_t file_name_start(const std::string& path);
// The file name of a path: what follows its last separator or drive colon.
std::string file_name_of(const std::string& path);
// Whether the part of a file name before its first dot names a device on Windows (CON, PRN,
// AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any case): such a name is no file there.
bool is_device_name(std::string_view name);

#ifdef _WIN32
// The UTF-16 form of a path or name, by the rule above.
std::wstring widen_path(const char* path);
// UTF-16 to UTF-8.
std::string narrow_utf8(const wchar_t* text);
// Where the file name of a wide path starts, by the rule of file_name_start.
size_t file_name_start(std::wstring_view path);
#endif

}  // namespace platform
