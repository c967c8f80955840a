#include "engine/sys.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/text.h"

std::optional<std::string> sys_getcwd() {
    return platform::current_directory();
}

int sys_chdir(const char* path) {
    return platform::change_directory(path) == 0 ? 0 : -1;
}

// Makes `parent`, then `name` inside it without following a link there; a folder or
// anything else already there counts as made: the caller looks at what stands there. A
// `name` that is `parent` itself is made once.
int sys_mkdir(const char* parent, const char* name) {
    if (parent == nullptr) return -1;
    if (platform::make_directory(parent) != 0 && errno != EEXIST) return -1;
    if (std::strcmp(parent, name) == 0) return 0;
    if (platform::make_folders_below(parent, name) == 0) return 0;
    return errno == ELOOP || errno == ENOTDIR ? 0 : -1;
}

std::string in_folder(const char* folder, const std::string& name) {
    return std::string(folder) + "/" + name;
}

// A folder the run writes into must be a folder of its own: a link there would send the
// files somewhere else.
bool is_link(const std::string& folder) {
    return platform::entry_at(folder.c_str()) == platform::entry_kind::link;
}

void say_link(const std::string& folder) {
    std::fprintf(stderr, "error: %s is a link; nothing is written there\n",
                 platform::printable(folder).c_str());
    std::fflush(stderr);
}

// The folder's own failure is said under `tag`, or under the folder's path when none.
bool make_own_folder(const std::string& parent, const std::string& name, const char* tag) {
    std::string folder = in_folder(parent.c_str(), name);
    if (sys_mkdir(parent.c_str(), name.c_str()) != 0) {
        platform::report_error(tag != nullptr ? tag : folder.c_str());
        return false;
    }
    if (is_link(folder)) {
        say_link(folder);
        return false;
    }
    return true;
}
