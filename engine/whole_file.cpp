#include "engine/whole_file.h"

#include <cerrno>
#include <cstring>

#include "engine/save_message.h"
#include "engine/sys.h"
#include "platform/fs.h"
#include "platform/text.h"

// Says what failed, with the system's words, and removes what was begun.
bool whole_file::fail(const char* what) {
    int error = errno;
    discard();
    std::fprintf(stderr, "morvale: %s: %s: %s\n", platform::printable(path_).c_str(), what,
                 std::strerror(error));
    std::fflush(stderr);
    errno = error;
    return false;
}

bool whole_file::open(const std::string& path, const std::string& extension, bool replace) {
    discard();
    path_ = path;
    replace_ = replace;
    size_t start = platform::file_name_start(path);
    folder_ = path.substr(0, start);
    while (folder_.size() > 1 && platform::is_path_separator(folder_.back())) folder_.pop_back();
    if (folder_.empty()) folder_ = ".";
    // Checked before the work is done, and again at the rename.
    if (!may_take_name(path, std::nullopt, replace_))
        return errno == EEXIST ? false : fail("cannot be replaced");  // a file there is named
    leaf_ = take_temporary_name("." + extension);
    std::string temporary = in_folder(folder_.c_str(), leaf_);
    // What an earlier process of this id left under the name goes first.
    stream_ = clear_temporary(temporary) ? platform::create_new_file(temporary.c_str()) : nullptr;
    if (stream_ == nullptr) {
        leaf_.clear();
        return fail("cannot be written");
    }
    return true;
}

bool whole_file::complete(std::optional<int64_t> date) {
    if (stream_ == nullptr) return false;
    FILE* stream = stream_;
    stream_ = nullptr;
    bool written = std::ferror(stream) == 0;
    if (std::fclose(stream) != 0 || !written) return fail("cannot be written");
    if (date) _set_message_time(folder_.c_str(), leaf_, *date);
    std::string temporary = in_folder(folder_.c_str(), leaf_);
    if (!may_take_name(path_, std::nullopt, replace_) ||
        platform::replace_file(temporary.c_str(), path_.c_str()) != 0) {
        return fail("cannot be replaced");
    }
    leaf_.clear();
    return true;
}

void whole_file::discard() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (!leaf_.empty()) platform::remove_file(in_folder(folder_.c_str(), leaf_).c_str());
    leaf_.clear();
}
