#include "cli/store_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

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
    std::fprintf(stderr, "morvale: %s: %s\n", utf8(where).c_str(), error.message().c_str());
    std::fflush(stderr);
}

}  // namespace

std::vector<folder_store> stores_in_folder(const std::string& folder, bool& complete) {
    complete = true;
    fs::path root = fs::u8path(folder);
    std::vector<std::pair<std::string, folder_store>> found;
    std::error_code error;
    fs::recursive_directory_iterator entries(root, fs::directory_options::skip_permission_denied,
                                             error);
    if (error) {
        say_unreadable(root, error);
        complete = false;
        return {};
    }
    for (fs::recursive_directory_iterator end; entries != end; entries.increment(error)) {
        if (error) {
            say_unreadable(root, error);
            complete = false;
            break;
        }
        const fs::directory_entry& entry = *entries;
        std::error_code kind_error;
        if (entry.is_directory(kind_error) || !is_store_name(utf8(entry.path().filename())))
            continue;
        fs::path relative = entry.path().lexically_relative(root);
        std::string parent = utf8(relative.parent_path());
        found.push_back({utf8(relative), {utf8(entry.path()), parent}});
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<folder_store> stores;
    for (auto& [key, store] : found) stores.push_back(std::move(store));
    return stores;
}
