#include "engine/whole_file.h"

#include <cerrno>
#include <cstring>

#include "engine/save_message.h"
#include "platform/text.h"

// Says what failed, with the system's words, and removes what was begun.
bool whole_file::fail(const char* what) {
    int error = errno;
    file_.discard();
    std::fprintf(stderr, "morvale: %s: %s: %s\n", platform::printable(path_).c_str(), what,
                 std::strerror(error));
    std::fflush(stderr);
    errno = error;
    return false;
}

bool whole_file::open(const std::string& path, const std::string& extension, bool replace) {
    file_.discard();
    path_ = path;
    replace_ = replace;
    // Checked before the work is done, and again at the rename.
    if (!platform::may_take_name(path, std::nullopt, replace_))
        return errno == EEXIST ? false : fail("cannot be replaced");  // a file there is named
    if (!file_.reserve(path, "." + extension) || !file_.create()) return fail("cannot be written");
    return true;
}

bool whole_file::complete(std::optional<int64_t> date) {
    if (file_.stream() == nullptr) return false;
    if (!file_.close()) return fail("cannot be written");
    if (date) _set_message_time(file_.folder().c_str(), file_.leaf(), *date);
    platform::output_file::name_rules rules{std::nullopt, replace_};
    if (!file_.complete(&rules)) return fail("cannot be replaced");
    return true;
}
