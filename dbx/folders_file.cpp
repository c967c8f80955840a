#include "dbx/folders_file.h"

#include <new>
#include <unordered_map>
#include <unordered_set>

#include "dbx/index_tree.h"
#include "platform/text.h"

namespace {

// The folder info's fields (docs/DBX-INDEX.md).
constexpr uint8_t field_id = 0x00, field_parent = 0x01, field_name = 0x02, field_file = 0x03,
                  field_special = 0x09, field_account_kind = 0x0a;

constexpr uint32_t local_folders = 3;

using folder_ids = std::unordered_map<uint32_t, const dbx_folder_info*>;

folder_ids ids_of(const dbx_folder_tree& tree) {
    folder_ids ids;
    for (const dbx_folder_info& folder : tree.folders) ids.emplace(folder.id, &folder);
    return ids;
}

const dbx_folder_info* parent_of(const folder_ids& ids, const dbx_folder_info& folder) {
    if (folder.parent_id == dbx_no_parent) return nullptr;
    auto it = ids.find(folder.parent_id);
    return it == ids.end() ? nullptr : it->second;
}

// How many folders have parents that run in a loop, or lead into one: each folder is walked
// once.
uint32_t folders_in_loops(const dbx_folder_tree& tree, const folder_ids& ids) {
    enum : uint8_t { unknown, on_path, sound, looping };
    std::unordered_map<const dbx_folder_info*, uint8_t> state;
    uint32_t count = 0;
    for (const dbx_folder_info& start : tree.folders) {
        std::vector<const dbx_folder_info*> path;
        uint8_t ends = sound;
        for (const dbx_folder_info* folder = &start; folder != nullptr;
             folder = parent_of(ids, *folder)) {
            uint8_t& seen = state[folder];
            if (seen != unknown) {
                ends = seen == sound ? sound : looping;
                break;
            }
            seen = on_path;
            path.push_back(folder);
        }
        for (const dbx_folder_info* folder : path) state[folder] = ends;
        if (ends == looping) count += uint32_t(path.size());
    }
    return count;
}

}  // namespace

namespace {

dbx_folder_tree read_folder_tree(const char* path, const platform::source_opener* open) {
    dbx_folder_tree tree;
    platform::source_opening opening = open != nullptr ? (*open)(path, platform::source_kind::store)
                                                       : platform::open_file_source(path);
    if (!opening.source) {
        tree.note =
            std::string("Folders.dbx cannot be read: ") + platform::read_error_text(opening.error);
        return tree;
    }
    platform::byte_source& source = *opening.source;
    dbx_index::object_reader reader(source, 0,
                                    std::min<uint64_t>(source.size(), uint64_t(1) << 32));
    dbx_index::file_header header = dbx_index::read_file_header(reader);
    if (header.kind != dbx_index::file_kind::folders) {
        tree.note = "Folders.dbx is not a folder list: its header is not one";
        return tree;
    }
    dbx_index::faults found;
    std::unordered_set<uint32_t> ids;
    std::vector<uint32_t> values = dbx_index::tree_values(reader, header.root, found);
    const size_t first_tree = values.size();
    // The notes place folder infos in three trees and name the first one's root only: the
    // words after it are taken for the others' roots where they lead to a sound tree, and add
    // the folders the first tree lacks.
    for (uint32_t root : header.other_roots) {
        dbx_index::faults other;
        std::vector<uint32_t> more =
            root ? dbx_index::tree_values(reader, root, other) : std::vector<uint32_t>{};
        if (!other.any()) values.insert(values.end(), more.begin(), more.end());
    }
    std::unordered_set<uint32_t> read_values;
    for (size_t at = 0; at < values.size(); at++) {
        uint32_t value = values[at];
        if (at >= first_tree && !read_values.insert(value).second) continue;  // in two trees
        read_values.insert(value);
        std::optional<dbx_index::indexed_info> info = dbx_index::read_indexed_info(reader, value);
        std::optional<uint32_t> id = info ? info->number(field_id) : std::nullopt;
        if (!id) {
            if (at < first_tree)
                found.add("an entry points at no folder info", "entries point at no folder info");
            continue;
        }
        if (!ids.insert(*id).second) {
            // A folder in more than one tree is the same folder once.
            if (at < first_tree)
                found.add("a folder id is named twice", "folder ids are named twice");
            continue;
        }
        dbx_folder_info folder;
        folder.id = *id;
        folder.parent_id = info->number(field_parent).value_or(dbx_no_parent);
        folder.name = std::string(info->text(field_name));
        folder.file_name = std::string(info->text(field_file));
        folder.special = info->number(field_special).value_or(0);
        folder.account_kind = info->number(field_account_kind).value_or(local_folders);
        tree.folders.push_back(std::move(folder));
    }
    uint32_t looping = folders_in_loops(tree, ids_of(tree));
    if (looping > 0)
        found.add("a folder's parents run in a loop", "folders' parents run in a loop", looping);
    tree.note = found.note("Folders.dbx");
    return tree;
}

}  // namespace

dbx_folder_tree dbx_read_folder_tree(const char* path, const platform::source_opener* open) {
    try {
        return read_folder_tree(path, open);
    } catch (const std::bad_alloc&) {
        dbx_folder_tree tree;
        tree.note = "Folders.dbx is too large to read in the memory at hand";
        return tree;
    }
}

std::vector<std::string> dbx_folder_path(const dbx_folder_tree& tree,
                                         const std::string& file_name) {
    const dbx_folder_info* start = nullptr;
    for (const dbx_folder_info& folder : tree.folders)
        if (!folder.file_name.empty() &&
            platform::equal_ignoring_case(folder.file_name, file_name)) {
            start = &folder;
            break;
        }
    if (start == nullptr) return {};
    folder_ids ids = ids_of(tree);
    std::vector<std::string> path;
    std::unordered_set<const dbx_folder_info*> seen;
    for (const dbx_folder_info* folder = start; folder != nullptr && seen.insert(folder).second;
         folder = parent_of(ids, *folder)) {
        if (folder->parent_id == dbx_no_parent) continue;  // the root
        const dbx_folder_info* parent = parent_of(ids, *folder);
        bool container = folder->file_name.empty() && folder->account_kind == local_folders &&
                         parent != nullptr && parent->parent_id == dbx_no_parent;
        if (!container) path.insert(path.begin(), folder->name);
    }
    return path;
}
