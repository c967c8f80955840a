#include <cerrno>

#include "engine/sys.h"
#include "platform/fs.h"

std::optional<std::string> sys_getcwd() { return platform::current_directory(); }

int sys_chdir(const char* path) { return platform::change_directory(path) == 0 ? 0 : -1; }

// Makes `parent`, then `name` inside it; a folder or file already there counts as made.
int sys_mkdir(const char* parent, const char* name) {
    if (parent == nullptr) return -1;
    if (platform::make_directory(parent) != 0 && errno != EEXIST) return -1;
    auto saved = sys_getcwd();
    if (!saved) return -1;
    if (sys_chdir(parent) != 0) return -1;
    int result = platform::make_directory(name) == 0 || errno == EEXIST ? 0 : -1;
    int saved_errno = errno;
    sys_chdir(saved->c_str());
    errno = saved_errno;
    return result;
}

std::string in_folder(const char* folder, const std::string& name) {
    return std::string(folder) + "/" + name;
}
