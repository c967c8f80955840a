#include "dbx/store_index.h"

#include <algorithm>
#include <unordered_set>

#include "dbx/index_tree.h"
#include "dbx/layout.h"

namespace {

// The message info's fields (docs/DBX-INDEX.md).
constexpr uint8_t field_index = 0x00, field_flags = 0x01, field_sent = 0x02, field_message = 0x04,
                  field_saved = 0x06, field_message_id = 0x07, field_subject = 0x08,
                  field_sender_name = 0x0d, field_sender_address = 0x0e, field_priority = 0x10,
                  field_received = 0x12, field_account = 0x1a;

// True when the scan found a block of list `list` at `offset` of the store itself.
bool scan_found(const dbx_t& store, int list, uint32_t offset) {
    const dbx_block_list_t& blocks = store.lists[list];
    auto begin = blocks.blocks.begin(), end = begin + blocks.block_count;
    auto at = std::lower_bound(
        begin, end, offset, [](const dbx_block_t& block, uint32_t o) { return block.offset < o; });
    return at != end && at->offset == offset;
}

}  // namespace

dbx_store_index dbx_read_store_index(const dbx_t& store) {
    dbx_store_index index;
    if (store.source == nullptr || store.file_size <= 0 || uint64_t(store.file_size) <= store.base)
        return index;
    uint64_t limit =
        std::min<uint64_t>(uint64_t(store.file_size) - store.base, dbx_layout::addressable);
    dbx_index::object_reader reader(*store.source, store.base, limit);
    dbx_index::file_header header = dbx_index::read_file_header(reader);
    // A file without a message store's header has no index to read, and nothing to say.
    if (header.kind != dbx_index::file_kind::messages) return index;
    index.stated_count = header.items;
    dbx_index::faults found;
    if (header.root == 0) {
        if (header.items != 0)
            found.say("the file header states " + std::to_string(header.items) +
                      " messages but names no tree");
        index.note = found.note("the store's index");
        return index;
    }
    std::vector<uint32_t> values = dbx_index::tree_values(reader, header.root, found);
    index.present = !values.empty() || !found.any();
    std::unordered_set<uint32_t> infos, messages;
    for (uint32_t value : values) {
        if (!infos.insert(value).second) {
            found.add("an entry is named twice", "entries are named twice");
            continue;
        }
        if (scan_found(store, 0, value) || scan_found(store, 1, value)) {
            found.add("an entry points at a message block", "entries point at message blocks");
            continue;
        }
        std::optional<dbx_index::indexed_info> info = dbx_index::read_indexed_info(reader, value);
        if (!info) {
            found.add("an entry points at no message info", "entries point at no message info");
            continue;
        }
        if (info->fields_outside)
            found.add("a message info has fields outside it",
                      "message infos have fields outside them");
        dbx_index_entry entry;
        entry.info_offset = value;
        entry.first_block = info->number(field_message).value_or(0);
        if (entry.first_block != 0 && scan_found(store, 1, entry.first_block)) {
            found.add("a message info names a freed block", "message infos name freed blocks");
            continue;
        }
        if (entry.first_block != 0 && !messages.insert(entry.first_block).second) {
            found.add("a message is named twice", "messages are named twice");
            continue;
        }
        entry.index_number = info->number(field_index).value_or(0);
        entry.flags = info->number(field_flags).value_or(0);
        entry.sent = info->filetime(field_sent);
        entry.received = info->filetime(field_received);
        entry.saved = info->filetime(field_saved);
        entry.priority = int(info->number(field_priority).value_or(0));
        entry.subject = info->text(field_subject);
        entry.sender_name = info->text(field_sender_name);
        entry.sender_address = info->text(field_sender_address);
        entry.message_id = info->text(field_message_id);
        entry.account = info->text(field_account);
        index.entries.push_back(std::move(entry));
    }
    if (header.items != values.size())
        found.say("the file header states " + std::to_string(header.items) +
                  " messages, the tree holds " + std::to_string(values.size()));
    index.note = found.note("the store's index");
    return index;
}
