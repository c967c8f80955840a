#include "dbx/store_index.h"

#include <algorithm>
#include <deque>
#include <new>
#include <unordered_set>

#include "dbx/index_tree.h"
#include "dbx/layout.h"

namespace {

// The message info's fields (docs/DBX-INDEX.md).
constexpr uint8_t field_index = 0x00, field_flags = 0x01, field_sent = 0x02, field_message = 0x04,
                  field_saved = 0x06, field_message_id = 0x07, field_subject = 0x08,
                  field_sender_name = 0x0d, field_sender_address = 0x0e, field_priority = 0x10,
                  field_received = 0x12, field_account = 0x1a;

// Those of `offsets` (in increasing order) at which the scan found a block of list `list`
// of the store itself, in increasing order: one pass over both, leaping over the blocks
// between two offsets (an index lies apart from most of the blocks).
std::vector<uint32_t> scan_found(const dbx_t& store, int list,
                                 const std::vector<uint32_t>& offsets) {
    std::vector<uint32_t> found;
    const dbx_block_list_t& blocks = store.lists[list];
    auto block = blocks.blocks.begin(), own = block + std::max(blocks.block_count, 0);
    auto before = [](const dbx_block_t& at, uint32_t offset) { return at.offset < offset; };
    for (uint32_t offset : offsets) {
        // The first block at or after `offset`: found by doubling leaps, then halving.
        ptrdiff_t leap = 1;
        while (leap < own - block && block[leap].offset < offset) leap *= 2;
        block = std::lower_bound(block, block + std::min(leap + 1, own - block), offset, before);
        if (block == own) break;
        if (block->offset == offset) found.push_back(offset);
    }
    return found;
}

bool holds(const std::vector<uint32_t>& sorted, uint32_t offset) {
    return std::binary_search(sorted.begin(), sorted.end(), offset);
}

std::vector<uint32_t> sorted(std::vector<uint32_t> offsets) {
    if (!std::is_sorted(offsets.begin(), offsets.end())) std::sort(offsets.begin(), offsets.end());
    return offsets;
}

// The offsets `offsets` holds more than once, in increasing order.
std::vector<uint32_t> repeated(const std::vector<uint32_t>& in_order) {
    std::vector<uint32_t> repeats;
    for (size_t i = 1; i < in_order.size(); i++)
        if (in_order[i] == in_order[i - 1] && (repeats.empty() || repeats.back() != in_order[i]))
            repeats.push_back(in_order[i]);
    return repeats;
}

// The accounts the entries name, each kept once: a store's messages come from few.
class account_names {
  public:
    std::string_view keep(std::string_view bytes) {
        if (bytes.empty()) return {};
        if (bytes == last_) return last_;
        auto known = known_.find(bytes);
        if (known == known_.end()) {
            names_.emplace_back(bytes);
            known = known_.insert(names_.back()).first;
        }
        return last_ = *known;
    }

  private:
    std::deque<std::string> names_;  // never moved once made
    std::unordered_set<std::string_view> known_;
    std::string_view last_;
};

// The store's bytes as the index reads them; none when it has none to read.
std::optional<dbx_index::object_reader> reader_of(const dbx_t& store) {
    if (store.source == nullptr || store.file_size <= 0 || uint64_t(store.file_size) <= store.base)
        return std::nullopt;
    uint64_t limit =
        std::min<uint64_t>(uint64_t(store.file_size) - store.base, dbx_layout::addressable);
    return std::make_optional<dbx_index::object_reader>(*store.source, store.base, limit);
}

dbx_store_index read_index(const dbx_t& store) {
    dbx_store_index index;
    std::optional<dbx_index::object_reader> opened = reader_of(store);
    if (!opened) return index;
    dbx_index::object_reader& reader = *opened;
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
    std::vector<uint32_t> values = dbx_index::tree_values(reader, header.root, found, header.items);
    index.present = !values.empty() || !found.any();
    // The message infos are read in the order they lie in the file, so that the reader's
    // window serves many of them, and kept in tree order: the places in the tree of the
    // values by offset (a value named twice first where the tree names it first), none when
    // the tree names them in file order.
    std::vector<uint32_t> places, by_offset;
    if (!std::is_sorted(values.begin(), values.end())) {
        places.resize(values.size());
        for (size_t place = 0; place < values.size(); place++) places[place] = uint32_t(place);
        std::stable_sort(places.begin(), places.end(),
                         [&](uint32_t a, uint32_t b) { return values[a] < values[b]; });
        by_offset.resize(values.size());
        for (size_t i = 0; i < places.size(); i++) by_offset[i] = values[places[i]];
    }
    const std::vector<uint32_t>& in_order = places.empty() ? values : by_offset;
    // What the scan found where the tree points: looked up once.
    std::vector<uint32_t> at_blocks = scan_found(store, 0, in_order),
                          at_freed = scan_found(store, 1, in_order);
    // What became of each value, by place: the faults are counted in tree order below.
    enum outcome : uint8_t { kept, twice, at_block, no_info, fields_outside };
    std::vector<outcome> outcomes(values.size(), kept);
    auto& entries = index.entries;
    entries.resize(values.size());
    auto accounts = std::make_shared<account_names>();
    index.accounts = accounts;
    for (size_t i = 0; i < in_order.size(); i++) {
        uint32_t value = in_order[i];
        size_t place = places.empty() ? i : places[i];
        if (i > 0 && in_order[i - 1] == value) {
            outcomes[place] = twice;
            continue;
        }
        if (holds(at_blocks, value) || holds(at_freed, value)) {
            outcomes[place] = at_block;
            continue;
        }
        std::optional<dbx_index::indexed_info> info = dbx_index::read_indexed_info(reader, value);
        if (!info) {
            outcomes[place] = no_info;
            continue;
        }
        if (info->fields_outside) outcomes[place] = fields_outside;
        dbx_index_entry& entry = entries[place];
        entry.info_offset = value;
        entry.first_block = info->number(field_message).value_or(0);
        entry.index_number = info->number(field_index).value_or(0);
        entry.flags = info->number(field_flags).value_or(0);
        entry.received = info->filetime(field_received);
        entry.priority = int(info->number(field_priority).value_or(0));
        entry.account = accounts->keep(info->text(field_account));
    }
    // The faults of the values, in tree order.
    for (outcome each : outcomes) {
        if (each == twice) found.add("an entry is named twice", "entries are named twice");
        if (each == at_block)
            found.add("an entry points at a message block", "entries point at message blocks");
        if (each == no_info)
            found.add("an entry points at no message info", "entries point at no message info");
        if (each == fields_outside)
            found.add("a message info has fields outside it",
                      "message infos have fields outside them");
    }
    // The message each entry names: a freed block, or one named already, is no message of
    // the index's.
    auto read = [&](size_t place) {
        return outcomes[place] == kept || outcomes[place] == fields_outside;
    };
    std::vector<uint32_t> blocks;
    for (size_t place = 0; place < entries.size(); place++)
        if (read(place) && entries[place].first_block != 0)
            blocks.push_back(entries[place].first_block);
    blocks = sorted(std::move(blocks));
    std::vector<uint32_t> freed = scan_found(store, 1, blocks), named_twice = repeated(blocks);
    std::unordered_set<uint32_t> taken;  // of the blocks named twice
    size_t kept_count = 0;
    for (size_t place = 0; place < entries.size(); place++) {
        if (!read(place)) continue;
        uint32_t block = entries[place].first_block;
        if (block != 0 && !freed.empty() && holds(freed, block)) {
            found.add("a message info names a freed block", "message infos name freed blocks");
            continue;
        }
        if (block != 0 && !named_twice.empty() && holds(named_twice, block) &&
            !taken.insert(block).second) {
            found.add("a message is named twice", "messages are named twice");
            continue;
        }
        if (kept_count != place) entries[kept_count] = entries[place];
        kept_count++;
    }
    entries.resize(kept_count);
    if (header.items != values.size())
        found.say("the file header states " + std::to_string(header.items) +
                  " messages, the tree holds " + std::to_string(values.size()));
    index.note = found.note("the store's index");
    return index;
}

}  // namespace

dbx_store_index dbx_read_store_index(const dbx_t& store) {
    try {
        return read_index(store);
    } catch (const std::bad_alloc&) {
        dbx_store_index index;
        index.note = "the store's index is too large to read in the memory at hand";
        return index;
    }
}

std::vector<dbx_index_details> dbx_read_index_details(
    const dbx_t& store, const std::vector<const dbx_index_entry*>& entries) {
    std::vector<dbx_index_details> said(entries.size());
    std::optional<dbx_index::object_reader> reader = reader_of(store);
    for (size_t i = 0; reader && i < entries.size(); i++) {
        std::optional<dbx_index::indexed_info> info =
            dbx_index::read_indexed_info(*reader, entries[i]->info_offset);
        if (!info) continue;
        dbx_index_details& details = said[i];
        details.sent = info->filetime(field_sent);
        details.saved = info->filetime(field_saved);
        details.subject = info->text(field_subject);
        details.sender_name = info->text(field_sender_name);
        details.sender_address = info->text(field_sender_address);
        details.message_id = info->text(field_message_id);
        details.account = info->text(field_account);
    }
    return said;
}
