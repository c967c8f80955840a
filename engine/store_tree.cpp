// The folder tree beside a store, and the output folders it places the store in.

#include "engine/store_tree.h"

#include <cstdio>

#include "engine/engine.h"
#include "engine/message_name.h"
#include "engine/store_state.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/text.h"

const std::optional<dbx_folder_tree>& folder_trees::tree_beside(const std::string& store) {
    std::string folder = store.substr(0, platform::file_name_start(store));
    auto [at, added] = trees_.try_emplace(folder);
    if (added) {
        std::string tree_path;
        at->second = folder_tree_beside(store, &tree_path);
        if (at->second) say_tree_note(tree_path, *at->second);
    }
    return at->second;
}

std::vector<std::string> folder_trees::path_of(const std::string& store) {
    const std::optional<dbx_folder_tree>& tree = tree_beside(store);
    if (!tree) return {};
    return store_folder_path(*tree, store);
}

bool folder_trees::is_tree(const std::string& path) {
    if (!platform::equal_ignoring_case(platform::file_name_of(path), "Folders.dbx")) return false;
    const std::optional<dbx_folder_tree>& tree = tree_beside(path);
    return tree && !tree->folders.empty();
}

void say_tree_note(const std::string& path, const dbx_folder_tree& tree) {
    if (tree.note.empty()) return;
    std::fprintf(stderr, "morvale: %s: %s\n", platform::printable(path).c_str(),
                 platform::printable(tree.note).c_str());
    std::fflush(stderr);
}

std::vector<std::string> store_output_names(const std::string& store_path) {
    folder_trees trees;
    std::vector<std::string> names = safe_folder_names(trees.path_of(store_path));
    if (names.empty()) names.push_back(store_folder_name(platform::file_name_of(store_path)));
    return names;
}

std::vector<std::string> safe_folder_names(const std::vector<std::string>& names) {
    std::vector<std::string> safe;
    for (const std::string& name : names) safe.push_back(safe_folder_name(name));
    return safe;
}

std::string joined_names(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names) path += (path.empty() ? "" : "/") + name;
    return path;
}

std::optional<std::string> target_below(const std::string& folder,
                                        const std::vector<std::string>& names, char separator) {
    if (names.empty()) return std::nullopt;
    std::vector<std::string> parents(names.begin(), names.end() - 1);
    if (!parents.empty() &&
        platform::make_folders_below(folder.c_str(), joined_names(parents)) != 0)
        return std::nullopt;
    std::string target = folder;
    for (const std::string& name : names) {
        if (target.empty() || !platform::is_path_separator(target.back())) target += separator;
        target += name;
    }
    return target + ".dbx";
}
