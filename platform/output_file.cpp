#include "platform/output_file.h"

#include <algorithm>
#include <cerrno>

#include "platform/fs.h"
#include "platform/text.h"

namespace platform {

output_rules run_outputs;
std::atomic<int> refused_replacements{0};

namespace {

// Temporary names taken so far by this process.
std::atomic<uint64_t> temporaries_taken{0};

std::string temporary_name(const std::string& name, uint64_t serial) {
    // A message file's name ends in ".<offset>.<extension>", unique within its folder.
    constexpr size_t number_and_extension = 13;
    size_t keep = std::min(name.size(), number_and_extension);
    return "~morvale." + std::to_string(process_id()) + "." + std::to_string(serial) +
           name.substr(name.size() - keep) + ".tmp";
}

}  // namespace

std::string take_temporary_name(const std::string& name) {
    return temporary_name(name, ++temporaries_taken);
}

std::string next_temporary_name(const std::string& name) {
    return temporary_name(name, temporaries_taken + 1);
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
