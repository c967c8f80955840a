#include "temp_dir.h"

#include <atomic>
#include <chrono>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

temp_dir::temp_dir() {
    static std::atomic<int> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("morvale-test-" + std::to_string(getpid()) + "-" + std::to_string(stamp) + "-" +
             std::to_string(++counter));
    std::filesystem::create_directories(path_);
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    // Read-only files made by a test must not keep the folder alive.
    for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

std::string temp_dir::file(const std::string& name) const {
    auto u8 = (path_ / std::filesystem::u8path(name)).u8string();
    return std::string(u8.begin(), u8.end());
}
