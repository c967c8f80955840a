#include "engine/sys.h"

#include <cerrno>
#include <cstring>

#include "platform/fs.h"

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
