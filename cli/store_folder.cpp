#include "cli/store_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cli/console_view.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

bool is_store_name(const std::string& name) {
    return name.size() > 4 &&
           platform::equal_ignoring_case(std::string_view(name).substr(name.size() - 4), ".dbx");
}

void say_unreadable(const fs::path& where, const std::error_code& error) {
    std::fprintf(stderr, "morvale: %s: %s\n", platform::printable(utf8(where)).c_str(),
                 error.message().c_str());
    std::fflush(stderr);
}

// Only regular files (and block devices) are stores: a pipe or a socket would block the
// run or hand over nothing.
bool readable_kind(const fs::file_status& status) {
    return fs::is_regular_file(status) || fs::is_block_file(status);
}

}  // namespace

// The folders are walked with a stack of their own, each read on its own, so that one that
// cannot be read is said and the others still walked. A link to a folder is not followed:
// it may lead out of the folder given, or round in a circle.
std::vector<folder_store> stores_in_folder(const std::string& folder, bool& complete) {
    complete = true;
    fs::path root = fs::u8path(folder);
    std::vector<std::pair<std::string, folder_store>> found;
    std::vector<fs::path> pending{root};
    while (!pending.empty()) {
        fs::path directory = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        fs::directory_iterator entries(directory, error);
        for (fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
            const fs::directory_entry& entry = *entries;
            std::error_code kind_error;
            if (entry.is_directory(kind_error) && !entry.is_symlink(kind_error)) {
                pending.push_back(entry.path());
                continue;
            }
            if (!is_store_name(utf8(entry.path().filename()))) continue;
            fs::file_status status = entry.status(kind_error);  // a link to a file is read
            if (fs::is_directory(status)) continue;
            if (!kind_error && !readable_kind(status)) {
                std::fprintf(stderr, "morvale: %s: not a regular file; skipped\n",
                             platform::printable(utf8(entry.path())).c_str());
                std::fflush(stderr);
                complete = false;
                continue;
            }
            fs::path relative = entry.path().lexically_relative(root);
            found.push_back({utf8(relative), {utf8(entry.path()), utf8(relative.parent_path())}});
        }
        if (error) {
            say_unreadable(directory, error);
            complete = false;
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<folder_store> stores;
    for (auto& [key, store] : found) stores.push_back(std::move(store));
    return stores;
}
