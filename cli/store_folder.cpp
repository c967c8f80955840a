#include "cli/store_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
std::vector<folder_store> stores_in_folder(const std::string& folder, bool& complete, bool quiet) {
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
                if (!quiet) {
                    std::fprintf(stderr, "morvale: %s: not a regular file; skipped\n",
                                 platform::printable(utf8(entry.path())).c_str());
                    std::fflush(stderr);
                }
                complete = false;
                continue;
            }
            fs::path relative = entry.path().lexically_relative(root);
            found.push_back({utf8(relative), {utf8(entry.path()), utf8(relative.parent_path())}});
        }
        if (error) {
            if (!quiet) say_unreadable(directory, error);
            complete = false;
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<folder_store> stores;
    for (auto& [key, store] : found) stores.push_back(std::move(store));
    return stores;
}

namespace {

bool all_of(std::string_view text, bool (*test)(char)) {
    for (char c : text)
        if (!test(c)) return false;
    return true;
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_alphanumeric(char c) {
    return is_digit(c) || is_letter(c);
}

// Whether an extension (without its point) is one a segment of an image may have: "001",
// "aa", "E01", "EAA", "Ex01" (and the L and S kinds of EWF files).
bool segment_extension(std::string_view extension) {
    if (extension.size() == 3 && all_of(extension, is_digit)) return true;
    if (extension.size() == 2 && all_of(extension, is_letter)) return true;
    char kind = extension.empty() ? 0 : char(extension[0] | 0x20);
    if (kind != 'e' && kind != 'l' && kind != 's') return false;
    if (extension.size() == 3) return all_of(extension.substr(1), is_alphanumeric);
    return extension.size() == 4 && (extension[1] | 0x20) == 'x' &&
           all_of(extension.substr(2), is_alphanumeric);
}

// The files beside the image `path` named as its segments would be.
std::vector<fs::path> segments_beside(const std::string& path) {
    fs::path image = fs::u8path(path);
    std::string name = utf8(image.filename());
    size_t point = name.rfind('.');
    if (point == std::string::npos || !segment_extension(name.substr(point + 1))) return {};
    std::string stem = name.substr(0, point + 1);
    std::vector<fs::path> found;
    std::error_code error;
    fs::path folder = image.has_parent_path() ? image.parent_path() : fs::path(".");
    fs::directory_iterator entries(folder, error);
    for (fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        std::string other = utf8(entries->path().filename());
        if (other.size() > stem.size() &&
            platform::equal_ignoring_case(std::string_view(other).substr(0, stem.size()), stem) &&
            segment_extension(std::string_view(other).substr(stem.size())))
            found.push_back(entries->path());
    }
    return found;
}

using input_file = std::pair<std::string, platform::file_identity>;

void add_identity(std::vector<input_file>& identities, const std::string& path) {
    for (const platform::file_identity& identity : identities_of(path))
        identities.push_back({path, identity});
}

}  // namespace

std::vector<platform::file_identity> identities_of(const std::string& path) {
    std::vector<platform::file_identity> found;
    if (auto own = platform::identity_of(path.c_str())) found.push_back(*own);
#ifndef _WIN32
    struct stat status;
    if (::stat(path.c_str(), &status) == 0)
        found.push_back({uint64_t(status.st_dev), uint64_t(status.st_ino)});
#endif
    return found;
}

std::vector<std::pair<std::string, platform::file_identity>> input_files(
    const std::vector<std::string>& inputs, bool images) {
    std::vector<input_file> identities;
    for (const std::string& input : inputs) {
        if (!images && platform::entry_at(input.c_str()) == platform::entry_kind::directory) {
            bool complete = true;
            for (const folder_store& store : stores_in_folder(input, complete, true))
                add_identity(identities, store.path);
            continue;
        }
        add_identity(identities, input);
        if (images) {
            for (const fs::path& segment : segments_beside(input))
                add_identity(identities, utf8(segment));
        }
    }
    return identities;
}
