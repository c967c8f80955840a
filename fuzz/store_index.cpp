// The store's own index and Folders.dbx on any file: both are read as far as they are sound,
// and what they give keeps its promises. Every entry comes from a message info inside the
// file, no two entries name the same message, none names a block the scan found freed, the
// join gives each chain only an entry that names its first block, and the rest of an entry
// can be read again. A folder's path in the tree ends, however its parents loop.

#include "dbx/store_index.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "dbx/folders_file.h"
#include "dbx/scan.h"
#include "engine/store_state.h"
#include "fuzz/store_fuzz_support.h"

namespace {

bool freed_block(const dbx_t& store, uint32_t offset) {
    const dbx_block_list_t& freed = store.lists[1];
    auto own = freed.blocks.begin() + std::max(freed.block_count, 0);
    auto found =
        std::lower_bound(freed.blocks.begin(), own, offset,
                         [](const dbx_block_t& block, uint32_t at) { return block.offset < at; });
    return found != own && found->offset == offset;
}

void check_index(const dbx_t& store, size_t size) {
    dbx_store_index index = dbx_read_store_index(store);
    require(index.present || index.entries.empty(), "entries from an index that is not there");
    std::set<uint32_t> messages;
    for (const dbx_index_entry& entry : index.entries) {
        require(entry.info_offset != 0 && entry.info_offset < size,
                "an entry's message info lies outside the file");
        if (entry.first_block == 0) continue;
        require(messages.insert(entry.first_block).second, "two entries name one message");
        require(!freed_block(store, entry.first_block), "an entry names a freed block");
    }
    store_state state(store, std::move(index));
    for (int list = 0; list < 2; list++)
        for (int chain = 0; chain < store.lists[list].chain_count; chain++) {
            const dbx_index_entry* entry = state.entry_of(list, chain);
            require(
                entry == nullptr || entry->first_block == store.lists[list].chains[chain]->offset,
                "a chain joined to an entry that names another block");
        }
    std::vector<const dbx_index_entry*> missing = state.missing();
    std::vector<dbx_index_details> said = dbx_read_index_details(store, missing);
    for (size_t i = 0; i < missing.size(); i++)
        require(said[i].account == missing[i]->account, "an entry read again says otherwise");
}

void check_folders(const std::string& path) {
    dbx_folder_tree tree = dbx_read_folder_tree(path.c_str());
    for (const dbx_folder_info& folder : tree.folders) {
        if (folder.file_name.empty()) continue;
        std::vector<std::string> names = dbx_folder_path(tree, folder.file_name);
        require(names.size() <= tree.folders.size(), "a folder's path repeats a folder");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = write_input(fuzz_folder() + "/indexed.dbx", data, size);
    dbx_t* store = nullptr;
    caught_output output = catch_output([&] { store = dbx_open(path.c_str()); });
    require(store != nullptr, "the scan cannot open the store: " + output.err);
    check_index(*store, size);
    dbx_close(store);
    check_folders(path);
    return 0;
}
