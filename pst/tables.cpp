#include "pst/tables.h"

#include <algorithm>
#include <map>

#include "item/tags.h"
#include "platform/byte_layout.h"

namespace pst {

using platform::put_le;

namespace {

constexpr uint32_t row_id_tag = 0x67F20003, row_version_tag = 0x67F30003;

// Bytes of a fixed-size type; 0 for the types held elsewhere (text, binary, objects,
// multiple values, GUIDs).
size_t fixed_size(uint16_t type) {
    switch (type) {
        case 0x0002:
            return 2;
        case 0x0003:
        case 0x0004:
        case 0x000A:
            return 4;
        case 0x000B:
            return 1;
        case 0x0005:
        case 0x0006:
        case 0x0007:
        case 0x0014:
        case 0x0040:
            return 8;
        default:
            return 0;
    }
}

// A value too large for the heap goes into a subnode of its own; returns the heap or
// subnode id that the property context or table cell holds.
// A large value is handed to the node database in pieces, never copied whole.
uint32_t store_value(pst_ndb& ndb, pst_heap& heap, pst_subnodes& subnodes, uint32_t tag,
                     const item::property_value& value, uint64_t size) {
    if (size <= pst_heap_item_max) return heap.allocate(pst_value_bytes(tag, value));
    return subnodes.add(pst_node_value, ndb.add_data([&](const item::piece_taker& take) {
        return item::stored_pieces(tag, value, take);
    }));
}

}  // namespace

uint32_t pst_subnodes::add(uint32_t node_type, uint64_t data_bid, uint64_t sub_bid) {
    uint32_t nid = (next_index_++ << 5) | node_type;
    entries_.push_back({nid, data_bid, sub_bid});
    return nid;
}

void pst_subnodes::add_fixed(uint32_t nid, uint64_t data_bid, uint64_t sub_bid) {
    entries_.push_back({nid, data_bid, sub_bid});
}

uint64_t pst_subnodes::finish(pst_ndb& ndb) {
    if (entries_.empty()) return 0;
    return ndb.add_subnodes(std::move(entries_));
}

std::string pst_value_bytes(uint32_t tag, const item::property_value& value) {
    std::string bytes;
    uint16_t type = item::property_type(tag);
    if (size_t size = fixed_size(type)) {
        put_le(bytes, value.fixed, int(size));
    } else {
        bytes.reserve(item::stored_size(tag, value));
        item::stored_pieces(tag, value, [&](std::string_view piece) {
            bytes += piece;
            return true;
        });
    }
    return bytes;
}

std::vector<std::string> pst_property_context(pst_ndb& ndb, const item::property_map& properties,
                                              const item::property_map& additions,
                                              pst_subnodes& subnodes, bool keep_empty) {
    std::map<uint32_t, const item::property_value*> all;
    for (const auto& [tag, value] : properties) all[tag] = &value;
    for (const auto& [tag, value] : additions) all[tag] = &value;
    pst_heap heap(pst_heap_of_properties);
    uint32_t tree = pst_reserve_btree(heap);
    std::vector<std::string> records;
    uint32_t last_id = 0x10000;
    for (const auto& [tag, value_of] : all) {
        const item::property_value& value = *value_of;
        uint32_t id = tag >> 16;
        if (id == last_id) continue;  // one value per property id: the first type given
        last_id = id;
        uint16_t type = item::property_type(tag);
        uint64_t size = fixed_size(type) != 0 ? fixed_size(type) : item::stored_size(tag, value);
        if (size == 0 && !keep_empty) continue;
        std::string record;
        put_le(record, tag >> 16, 2);
        put_le(record, type, 2);
        if (fixed_size(type) != 0 && fixed_size(type) <= 4) {
            std::string bytes = pst_value_bytes(tag, value);
            bytes.resize(4, '\0');  // held in the record itself
            record += bytes;
        } else if (type == item::type_object) {
            // the object's subnode and size
            put_le(record, heap.allocate(pst_value_bytes(tag, value)), 4);
        } else if (size == 0 && tag == item::tags::attach_data) {
            // An attachment of no bytes: no heap item (HNID 0), which readers take for an
            // empty value; a heap item of no bytes makes them drop the attachment.
            put_le(record, 0, 4);
        } else {
            put_le(record, store_value(ndb, heap, subnodes, tag, value, size), 4);
        }
        records.push_back(std::move(record));
    }
    pst_build_btree(heap, tree, 2, 6, records);
    heap.set_root(tree);
    return heap.take_pages();
}

pst_table::pst_table(pst_ndb& ndb, pst_subnodes& subnodes, std::vector<uint32_t> tags)
    : ndb_(ndb), subnodes_(subnodes), row_index_(pst_reserve_btree(heap_)) {
    tags.push_back(row_id_tag);
    tags.push_back(row_version_tag);
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    // The row id and version lead each row; then the cells of 8, 4, 2 and 1 bytes, then
    // one bit per column saying whether its cell holds a value.
    auto cell_size = [](uint32_t tag) {
        size_t size = fixed_size(item::property_type(tag));
        return uint8_t(size == 0 ? 4 : size);
    };
    for (uint32_t tag : tags) columns_.push_back({tag, 0, cell_size(tag), 0});
    uint16_t offset = 8;
    uint8_t bit = 2;
    for (uint8_t size : {8, 4, 2, 1}) {
        for (column& c : columns_) {
            if (c.tag == row_id_tag || c.tag == row_version_tag) {
                c.offset = c.tag == row_id_tag ? 0 : 4;
                c.bit = c.tag == row_id_tag ? 0 : 1;
            } else if (c.size == size) {
                c.offset = offset;
                c.bit = bit++;
                offset = uint16_t(offset + size);
            }
        }
        if (size == 4) ends_[0] = offset;
        if (size == 2) ends_[1] = offset;
        if (size == 1) ends_[2] = offset;
    }
    ends_[3] = uint16_t(ends_[2] + (columns_.size() + 7) / 8);
}

void pst_table::add_row(uint32_t row_id, const item::property_map& properties) {
    std::string row(ends_[3], '\0');
    auto set_cell = [&](const column& c, uint64_t value) {
        platform::put_le_at(row, c.offset, value, c.size);
        row[ends_[2] + c.bit / 8u] =
            static_cast<char>(row[ends_[2] + c.bit / 8u] | (0x80 >> (c.bit % 8)));
    };
    for (const column& c : columns_) {
        if (c.tag == row_id_tag) {
            set_cell(c, row_id);
            continue;
        }
        if (c.tag == row_version_tag) {
            set_cell(c, 0);
            continue;
        }
        auto found = properties.find(c.tag);
        if (found == properties.end()) continue;
        if (fixed_size(item::property_type(c.tag)) != 0) {
            set_cell(c, found->second.fixed);
            continue;
        }
        uint64_t size = item::stored_size(c.tag, found->second);
        if (size != 0) set_cell(c, store_value(ndb_, heap_, subnodes_, c.tag, found->second, size));
    }
    index_.emplace_back(row_id, static_cast<uint32_t>(index_.size()));
    // Rows never straddle blocks: a row that would is moved to the next block's start.
    size_t in_block = rows_.size() % pst_block_data_max;
    if (in_block + row.size() > pst_block_data_max)
        rows_.append(pst_block_data_max - in_block, '\0');
    rows_ += row;
}

std::vector<std::string> pst_table::finish() {
    std::sort(index_.begin(), index_.end());
    std::vector<std::string> records;
    for (auto [id, number] : index_) {
        std::string record;
        put_le(record, id, 4);
        put_le(record, number, 4);
        records.push_back(std::move(record));
    }
    pst_build_btree(heap_, row_index_, 4, 4, records);

    uint32_t rows_id = 0;
    if (rows_.size() > pst_heap_item_max) {
        rows_id = subnodes_.add(pst_node_value, ndb_.add_data(rows_));
    } else if (!rows_.empty()) {
        rows_id = heap_.allocate(rows_);
    }
    std::string().swap(rows_);

    std::string info;
    info.push_back(static_cast<char>(pst_heap_of_table));
    info.push_back(static_cast<char>(columns_.size()));
    for (uint16_t end : ends_) put_le(info, end, 2);
    put_le(info, row_index_, 4);
    put_le(info, rows_id, 4);
    put_le(info, 0, 4);
    for (const column& c : columns_) {
        put_le(info, c.tag, 4);
        put_le(info, c.offset, 2);
        info.push_back(static_cast<char>(c.size));
        info.push_back(static_cast<char>(c.bit));
    }
    heap_.set_root(heap_.allocate(info));
    return heap_.take_pages();
}

std::vector<uint32_t> pst_hierarchy_columns() {
    return {0x0E300003, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001F, 0x36020003,
            0x36030003, 0x360A000B, 0x3613001F, 0x66350003, 0x66360003};
}

std::vector<uint32_t> pst_contents_columns() {
    return {0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x00390040, 0x0042001F, 0x0057000B,
            0x0058000B, 0x0070001F, 0x00710102, 0x0C1A001F, 0x0E03001F, 0x0E04001F, 0x0E060040,
            0x0E070003, 0x0E080003, 0x0E170003, 0x0E1B000B, 0x0E300003, 0x0E330014, 0x0E340102,
            0x0E380003, 0x0E3C0102, 0x0E3D0102, 0x10970003, 0x30080040, 0x65C60003};
}

std::vector<uint32_t> pst_associated_columns() {
    return {0x001A001F, 0x0E070003, 0x0E170003, 0x0E330014, 0x0E340102,
            0x0E380003, 0x3001001F, 0x6800001F, 0x6803000B, 0x68051003,
            0x70030003, 0x70040102, 0x70050102, 0x7006001F, 0x70070003};
}

std::vector<uint32_t> pst_recipient_columns() {
    return {0x0C150003, 0x0E0F000B, 0x0FF90102, 0x0FFE0003, 0x0FFF0102, 0x3001001F,
            0x3002001F, 0x3003001F, 0x300B0102, 0x39000003, 0x39FF001F, 0x3A40000B};
}

std::vector<uint32_t> pst_attachment_columns() {
    return {0x0E200003, 0x3704001F, 0x37050003, 0x370B0003};
}

}  // namespace pst
