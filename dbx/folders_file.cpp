#include "dbx/folders_file.h"

#include <unordered_map>
#include <unordered_set>

#include "dbx/index_tree.h"
#include "platform/text.h"

namespace {

// The folder info's fields (docs/DBX-INDEX.md).
constexpr uint8_t field_id = 0x00, field_parent = 0x01, field_name = 0x02, field_file = 0x03,
                  field_special = 0x09, field_account_kind = 0x0a;

constexpr uint32_t local_folders = 3;

const dbx_folder_info* folder_of(const dbx_folder_tree& tree, uint32_t id) {
    for (const dbx_folder_info& folder : tree.folders)
        if (folder.id == id) return &folder;
    return nullptr;
}

// The folders from `start` up through its parents, each once: a loop ends where it would
// repeat.
std::vector<const dbx_folder_info*> line_of(const dbx_folder_tree& tree,
                                            const dbx_folder_info* start, bool* looped = nullptr) {
    std::vector<const dbx_folder_info*> line;
    std::unordered_set<uint32_t> seen;
    for (const dbx_folder_info* folder = start; folder != nullptr;
         folder = folder->parent_id == dbx_no_parent ? nullptr
                                                     : folder_of(tree, folder->parent_id)) {
        if (!seen.insert(folder->id).second) {
            if (looped) *looped = true;
            break;
        }
        line.push_back(folder);
    }
    return line;
}

}  // namespace

dbx_folder_tree dbx_read_folder_tree(const char* path, const platform::source_opener* open) {
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
    for (uint32_t value : dbx_index::tree_values(reader, header.root, found)) {
        std::optional<dbx_index::indexed_info> info = dbx_index::read_indexed_info(reader, value);
        std::optional<uint32_t> id = info ? info->number(field_id) : std::nullopt;
        if (!id) {
            found.add("an entry points at no folder info", "entries point at no folder info");
            continue;
        }
        if (!ids.insert(*id).second) {
            found.add("a folder id is named twice", "folder ids are named twice");
            continue;
        }
        dbx_folder_info folder;
        folder.id = *id;
        folder.parent_id = info->number(field_parent).value_or(dbx_no_parent);
        folder.name = info->text(field_name);
        folder.file_name = info->text(field_file);
        folder.special = info->number(field_special).value_or(0);
        folder.account_kind = info->number(field_account_kind).value_or(local_folders);
        tree.folders.push_back(std::move(folder));
    }
    uint32_t looping = 0;
    for (const dbx_folder_info& folder : tree.folders) {
        bool looped = false;
        line_of(tree, &folder, &looped);
        if (looped) looping++;
    }
    if (looping > 0)
        found.add("a folder's parents run in a loop", "folders' parents run in a loop", looping);
    tree.note = found.note("Folders.dbx");
    return tree;
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
    std::vector<std::string> path;
    for (const dbx_folder_info* folder : line_of(tree, start)) {
        if (folder->parent_id == dbx_no_parent) continue;  // the root
        const dbx_folder_info* parent = folder_of(tree, folder->parent_id);
        bool container = folder->file_name.empty() && folder->account_kind == local_folders &&
                         parent != nullptr && parent->parent_id == dbx_no_parent;
        if (!container) path.insert(path.begin(), folder->name);
    }
    return path;
}
