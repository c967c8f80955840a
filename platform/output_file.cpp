#include "platform/output_file.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/fs.h"
#include "platform/text.h"

#ifdef _WIN32
#include <direct.h>
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

#ifdef _WIN32

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

#else

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

#endif

output_rules run_outputs;
std::atomic<int> refused_replacements{0};

namespace {

// Temporary names taken so far by this process.
std::atomic<uint64_t> temporaries_taken{0};

std::string temporary_name(const std::string& name, uint64_t serial) {
    // A message file's name ends in ".<offset>.<extension>", unique within its folder; the
    // end kept is set off by a point.
    constexpr size_t number_and_extension = 13;
    std::string end = name.substr(name.size() - std::min(name.size(), number_and_extension));
    if (end.empty() || end[0] != '.') end.insert(0, ".");
    return "~morvale." + std::to_string(process_id()) + "." + std::to_string(serial) + end + ".tmp";
}

// Takes the name a file has while it is being written.
std::string take_temporary_name(const std::string& name) {
    return temporary_name(name, ++temporaries_taken);
}

// The name holds this process's id, so a file there was left by an interrupted run of an
// earlier process of the same id, never by a run still going: it goes. A link there is
// refused, since writing through it would leave the folder; anything else stays, and
// writing the file then fails as on any name that cannot be written.
bool clear_temporary(const std::string& path) {
    entry_kind kind = entry_at(path.c_str());
    if (kind == entry_kind::file) remove_file(path.c_str());
    if (kind != entry_kind::link) return true;
    errno = ELOOP;
    return false;
}

}  // namespace

std::string next_temporary_name(const std::string& name) {
    return temporary_name(name, temporaries_taken + 1);
}

// Links, folders and anything else are left alone.
bool may_take_name(const std::string& path, const std::optional<file_identity>& store,
                   bool replace) {
    switch (entry_at(path.c_str())) {
        case entry_kind::none:
            return true;
        case entry_kind::file:
            break;
        case entry_kind::read_only:
            errno = EACCES;
            return false;
        case entry_kind::directory:
            errno = EISDIR;
            return false;
        case entry_kind::link:
            errno = ELOOP;
            return false;
        case entry_kind::other:
            std::fprintf(stderr, "morvale: %s is not a regular file; it is not replaced\n",
                         printable(path).c_str());
            errno = EEXIST;
            return false;
    }
    std::optional<file_identity> identity = identity_of(path.c_str());
    if (identity && store && identity == store) {
        std::fprintf(stderr, "_save_message (rename): %s is the store being read\n",
                     printable(path).c_str());
        errno = EEXIST;
        return false;
    }
    const std::vector<file_identity>& inputs = run_outputs.inputs;
    if (identity && std::find(inputs.begin(), inputs.end(), *identity) != inputs.end()) {
        std::fprintf(stderr, "morvale: %s is an input of this run; it is not replaced\n",
                     printable(path).c_str());
        errno = EEXIST;
        return false;
    }
    if (!replace) {
        std::fprintf(stderr, "morvale: %s exists; it is not replaced\n", printable(path).c_str());
        ++refused_replacements;
        errno = EEXIST;
        return false;
    }
    return true;
}

bool output_file::reserve(const std::string& path, const std::string& name) {
    discard();
    path_ = path;
    folder_ = path.substr(0, file_name_start(path));
    while (folder_.size() > 1 && is_path_separator(folder_.back())) folder_.pop_back();
    if (folder_.empty()) folder_ = ".";
    leaf_ = take_temporary_name(name);
    return clear_temporary(temporary());
}

bool output_file::create() {
    stream_ = leaf_.empty() ? nullptr : create_new_file(temporary().c_str());
    return stream_ != nullptr;
}

// Buffered bytes reach the disk only at the close: a full disk may show up there.
bool output_file::close() {
    if (stream_ == nullptr) return true;
    FILE* stream = stream_;
    stream_ = nullptr;
    bool written = std::ferror(stream) == 0;
    return std::fclose(stream) == 0 && written;
}

bool output_file::complete(const name_rules* rules) {
    if (leaf_.empty() || !close() ||
        (rules != nullptr && !may_take_name(path_, rules->store, rules->replace)) ||
        replace_file(temporary().c_str(), path_.c_str()) != 0) {
        discard();
        return false;
    }
    leaf_.clear();
    return true;
}

void output_file::discard() {
    int error = errno;
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (!leaf_.empty()) {
        std::string temporary = this->temporary();
        entry_kind kind = entry_at(temporary.c_str());
        if (kind == entry_kind::file || kind == entry_kind::read_only)
            remove_file(temporary.c_str());
    }
    leaf_.clear();
    errno = error;
}

}  // namespace platform
