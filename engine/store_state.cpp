// The store's index joined to the scan's chains, and what the outputs take from it.

#include "engine/store_state.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/byte_layout.h"
#include "platform/fs.h"
#include "platform/memory.h"
#include "platform/text.h"

store_state::store_state(const dbx_t& store, dbx_store_index index) : index_(std::move(index)) {
    // The chains' first blocks by offset, each with its list and chain: a message's chain
    // before a deleted fragment's at the same offset.
    std::vector<uint64_t, platform::page_allocator<uint64_t>> heads;
    size_t messages = size_t(std::max(store.lists[0].chain_count, 0));
    heads.reserve(messages + size_t(std::max(store.lists[1].chain_count, 0)));
    for (int list = 0; list < 2; ++list) {
        const dbx_block_list_t& chains = store.lists[list];
        entries_[list].assign(size_t(std::max(chains.chain_count, 0)), -1);
        for (int chain = 0; chain < chains.chain_count; ++chain)
            heads.push_back(uint64_t(chains.chains[chain]->offset) << 32 | uint64_t(list) << 31 |
                            uint32_t(chain));
    }
    auto middle = heads.begin() + ptrdiff_t(messages);
    if (!std::is_sorted(heads.begin(), middle)) std::sort(heads.begin(), middle);
    if (!std::is_sorted(middle, heads.end())) std::sort(middle, heads.end());
    std::inplace_merge(heads.begin(), middle, heads.end());
    for (size_t at = 0; at < index_.entries.size(); ++at) {
        uint32_t first = index_.entries[at].first_block;
        if (first == 0) continue;  // a header whose body was never downloaded
        auto head = std::lower_bound(heads.begin(), heads.end(), uint64_t(first) << 32);
        if (head == heads.end() || uint32_t(*head >> 32) != first) {
            missing_.push_back(at);
            continue;
        }
        int& joined = entries_[(*head >> 31) & 1][size_t(*head & 0x7fffffff)];
        if (joined < 0) joined = int(at);
    }
}

const dbx_index_entry* store_state::entry_of(int list, int chain) const {
    if (list < 0 || list > 1 || chain < 0 || size_t(chain) >= entries_[list].size()) return nullptr;
    int at = entries_[list][size_t(chain)];
    return at < 0 ? nullptr : &index_.entries[size_t(at)];
}

std::vector<const dbx_index_entry*> store_state::missing() const {
    std::vector<const dbx_index_entry*> entries;
    for (size_t at : missing_) entries.push_back(&index_.entries[at]);
    return entries;
}

item::message_state item_state_of(const dbx_index_entry& entry) {
    item::message_state state;
    state.read = (entry.flags & dbx_flag_read) != 0;
    state.replied = (entry.flags & dbx_flag_replied) != 0;
    state.forwarded = (entry.flags & dbx_flag_forwarded) != 0;
    state.flagged = (entry.flags & dbx_flag_flagged) != 0;
    state.received = entry.received;
    state.priority = entry.priority;
    return state;
}

std::string index_flag_names(uint32_t flags) {
    static constexpr std::pair<uint32_t, const char*> names[] = {
        {dbx_flag_read, "read"},
        {dbx_flag_replied, "replied"},
        {dbx_flag_forwarded, "forwarded"},
        {dbx_flag_flagged, "flagged"},
        {dbx_flag_draft, "draft"},
        {dbx_flag_attachment, "attachment"},
        {dbx_flag_signed, "signed"},
        {dbx_flag_news, "news"},
        {dbx_flag_downloaded, "downloaded"},
        {dbx_flag_download_later, "download_later"},
        {dbx_flag_thread_watched, "watched"},
        {dbx_flag_thread_ignored, "ignored"}};
    std::string text;
    uint32_t named = 0;
    for (const auto& [bit, name] : names) {
        named |= bit;
        if (flags & bit) text += (text.empty() ? "" : " ") + std::string(name);
    }
    for (uint32_t bit = 1; bit != 0; bit <<= 1) {
        if (!(flags & bit) || (named & bit)) continue;
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", bit);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}

std::string mbox_status_lines(const dbx_index_entry& entry, std::string_view message) {
    size_t first_end = message.find('\n');
    const char* end =
        first_end != std::string_view::npos && first_end > 0 && message[first_end - 1] == '\r'
            ? "\r\n"
            : "\n";
    std::string lines = std::string("Status: ") + (entry.flags & dbx_flag_read ? "RO" : "O") + end;
    std::string x_status;
    if (entry.flags & dbx_flag_replied) x_status += 'A';
    if (entry.flags & dbx_flag_flagged) x_status += 'F';
    if (!x_status.empty()) lines += "X-Status: " + x_status + end;
    return lines;
}

std::optional<int64_t> seconds_of_filetime(uint64_t filetime) {
    if (filetime == 0) return std::nullopt;
    return int64_t(filetime / 10000000u) - platform::filetime_epoch_offset;
}

std::string stored_text(std::string_view bytes) {
    return platform::utf16_to_utf8(platform::ansi_to_utf16(bytes));
}

std::optional<dbx_folder_tree> folder_tree_beside(const std::string& store_path,
                                                  std::string* tree_path) {
    namespace fs = std::filesystem;
    size_t start = platform::file_name_start(store_path);
    fs::path folder = fs::u8path(start == 0 ? std::string(".") : store_path.substr(0, start));
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    for (fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        std::u8string name = entries->path().filename().u8string();
        if (!platform::equal_ignoring_case(std::string(name.begin(), name.end()), "Folders.dbx"))
            continue;
        std::error_code kind_error;
        if (!entries->is_regular_file(kind_error)) continue;
        std::u8string whole = entries->path().u8string();
        std::string path(whole.begin(), whole.end());
        if (tree_path) *tree_path = path;
        return dbx_read_folder_tree(path.c_str());
    }
    return std::nullopt;
}

std::vector<std::string> store_folder_path(const dbx_folder_tree& tree,
                                           const std::string& store_path) {
    std::vector<std::string> names = dbx_folder_path(tree, platform::file_name_of(store_path));
    for (std::string& name : names) name = stored_text(name);
    return names;
}
