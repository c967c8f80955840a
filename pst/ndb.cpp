#include "pst/ndb.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>

#include "platform/byte_layout.h"
#include "pst/layout.h"

namespace pst {

namespace {

using platform::put_le16;
using platform::put_le32;
using platform::put_le64;

// A page's trailer: its type twice, its signature, the checksum of its data and its id.
void seal_page(std::string& page, uint8_t type, uint16_t signature, uint64_t id) {
    page[496] = static_cast<char>(type);
    page[497] = static_cast<char>(type);
    put_le16(page, 498, signature);
    put_le32(page, 500, crc(std::string_view(page.data(), page_data_size)));
    put_le64(page, 504, id);
}

constexpr uint64_t round_up(uint64_t value, uint64_t step) {
    return (value + step - 1) / step * step;
}

// Entries one block of each kind takes.
constexpr size_t xblock_entries = (block_data_max - 8) / 8;    // 1021 ids
constexpr size_t slblock_entries = (block_data_max - 8) / 24;  // 340 subnodes
constexpr size_t siblock_entries = (block_data_max - 8) / 16;  // 510 subnode blocks
constexpr size_t bt_entries_space = 488;

// What the block B-tree needs of each block written; kept from the block's writing to the end.
struct block_record {
    uint64_t bid;
    uint64_t ib;
    uint16_t cb;
    uint16_t refs;
};

struct node_record {
    uint32_t nid;
    uint32_t parent;
    uint64_t data_bid;
    uint64_t sub_bid;
};

// What the density list and the free maps need of each region once it is complete.
struct region_record {
    uint16_t free_slots;
    uint16_t longest_free_run;
};

// One page of a B-tree being built: its first key and where it went.
struct page_ref {
    uint64_t key;
    uint64_t bid;
    uint64_t ib;
};

}  // namespace

// Eight bytes a step (tables for each byte's distance from the end of the step): every
// byte of the file passes through here, and a byte a step was a good part of the writing time.
uint32_t crc(std::string_view bytes, uint32_t seed) {
    static const auto tables = [] {
        std::array<std::array<uint32_t, 256>, 8> t{};
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; i++)
            for (size_t k = 1; k < 8; k++) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        return t;
    }();
    uint32_t c = seed;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    for (; n >= 8; n -= 8, p += 8) {
        uint32_t low = c ^ (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                            uint32_t{p[3]} << 24);
        c = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
            tables[4][low >> 24] ^ tables[3][p[4]] ^ tables[2][p[5]] ^ tables[1][p[6]] ^
            tables[0][p[7]];
    }
    for (; n > 0; n--, p++) c = tables[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c;
}

struct pst_ndb::impl {
    pst_output& out;
    bool failed = false;
    uint64_t cursor = first_map_offset;  // where the next allocation may start
    uint64_t written_end = 0;            // everything before it has been written
    uint64_t region = 0;                 // the region the cursor is in
    bool region_entered = false;
    std::array<uint8_t, page_data_size> region_bits{};
    std::vector<region_record> regions;  // completed regions
    uint64_t next_bid = 4;
    uint64_t next_page_bid = 1;
    // Deques: growing them never copies what they hold, so memory stays at one record each.
    std::deque<block_record> blocks;
    std::deque<node_record> nodes;
    std::string scratch;

    explicit impl(pst_output& o) : out(o) {}

    // Writes bytes at an offset; any unwritten bytes before it are written as zeros first,
    // so the file never holds a hole and its bytes never depend on the output.
    void write(uint64_t at, std::string_view bytes) {
        if (failed) return;
        static const std::string zeros(64 * 1024, '\0');
        while (written_end < at) {
            uint64_t n = std::min<uint64_t>(zeros.size(), at - written_end);
            if (!out.write_at(written_end, std::string_view(zeros.data(), n))) {
                failed = true;
                return;
            }
            written_end += n;
        }
        if (!bytes.empty() && !out.write_at(at, bytes)) {
            failed = true;
            return;
        }
        written_end = std::max(written_end, at + bytes.size());
    }

    void mark(uint64_t at, uint64_t size) {
        uint64_t first = (at - region_start(region)) / slot_size;
        uint64_t last = (at + size - region_start(region) + slot_size - 1) / slot_size;
        for (uint64_t slot = first; slot < last; slot++)
            region_bits[slot / 8] |= 0x80 >> (slot % 8);
    }

    void enter_region(uint64_t r) {
        region = r;
        region_entered = true;
        region_bits.fill(0);
        mark(region_start(r), region_map_pages(r) * page_size);
        cursor = std::max(cursor, region_start(r) + region_map_pages(r) * page_size);
    }

    // A map page: data, then the trailer (maps carry their own offset as id).
    std::string map_page(uint8_t type, std::string_view data, uint64_t ib) {
        std::string page(page_size, '\0');
        std::memcpy(page.data(), data.data(), std::min<size_t>(data.size(), page_data_size));
        seal_page(page, type, 0, ib);
        return page;
    }

    // Writes the maps of the current region with its final bits and records what the
    // density list and free maps need. The free map itself is written at the end.
    void close_region() {
        uint16_t free_slots = 0, run = 0, longest = 0;
        for (size_t slot = 0; slot < page_data_size * 8; slot++) {
            if (region_bits[slot / 8] & (0x80 >> (slot % 8))) {
                run = 0;
            } else {
                free_slots++;
                longest = std::max<uint16_t>(longest, ++run);
            }
        }
        regions.push_back({free_slots, longest});
        std::string_view bits(reinterpret_cast<const char*>(region_bits.data()),
                              region_bits.size());
        write(region_start(region), map_page(page_amap, bits, region_start(region)));
        // The page map and free-page map are kept only for older readers: every page is
        // marked taken, so none of them is ever offered for reuse.
        const std::string all_taken(page_data_size, '\xFF');
        if (region_has_pmap(region))
            write(region_pmap_offset(region),
                  map_page(page_pmap, all_taken, region_pmap_offset(region)));
        if (region_has_fpmap(region))
            write(region_fpmap_offset(region),
                  map_page(page_fpmap, all_taken, region_fpmap_offset(region)));
        region_entered = false;
    }

    // Space for `size` bytes aligned to `align`, never across a region's end.
    uint64_t allocate(uint64_t size, uint64_t align) {
        if (!region_entered) enter_region(region);
        for (;;) {
            uint64_t at = round_up(cursor, align);
            if (at + size <= region_start(region) + region_size) {
                mark(at, size);
                cursor = at + size;
                return at;
            }
            close_region();
            enter_region(region + 1);
        }
    }

    block_record* find_block(uint64_t bid) {
        uint64_t index = (bid >> 2) - 1;
        if (bid < 4 || index >= blocks.size() || blocks[index].bid != (bid & ~uint64_t{1}))
            return nullptr;
        return &blocks[index];
    }

    void add_reference(uint64_t bid) {
        if (bid == 0) return;
        block_record* block = find_block(bid);
        if (!block) {
            failed = true;  // a reference to a block never written
            return;
        }
        block->refs++;
    }

    uint64_t write_block(std::string_view data, bool internal) {
        if (failed) return 0;
        uint64_t size = round_up(data.size() + block_trailer_size, slot_size);
        uint64_t ib = allocate(size, slot_size);
        uint64_t bid = next_bid | (internal ? bid_internal : 0);
        next_bid += 4;
        scratch.assign(size, '\0');
        std::memcpy(scratch.data(), data.data(), data.size());
        size_t trailer = size - block_trailer_size;
        put_le16(scratch, trailer, static_cast<uint16_t>(data.size()));
        put_le16(scratch, trailer + 2, signature(ib, bid));
        put_le32(scratch, trailer + 4, crc(data));
        put_le64(scratch, trailer + 8, bid);
        write(ib, scratch);
        // The block tree's own entry is the first reference; each node, subnode entry or id
        // block naming the block adds one.
        blocks.push_back({bid, ib, static_cast<uint16_t>(data.size()), 1});
        return bid;
    }

    // An XBLOCK (level 1) or XXBLOCK (level 2) over the given ids.
    uint64_t write_id_block(uint8_t level, const uint64_t* ids, size_t count, uint64_t total) {
        std::string data(8 + 8 * count, '\0');
        data[0] = 0x01;
        data[1] = static_cast<char>(level);
        put_le16(data, 2, static_cast<uint16_t>(count));
        put_le32(data, 4, static_cast<uint32_t>(total));
        for (size_t i = 0; i < count; i++) put_le64(data, 8 + 8 * i, ids[i]);
        for (size_t i = 0; i < count; i++) add_reference(ids[i]);
        return write_block(data, true);
    }

    // The root of a data tree over blocks already written, with their sizes.
    uint64_t data_tree(const std::vector<uint64_t>& ids, const std::vector<uint64_t>& sizes) {
        if (ids.empty()) return 0;
        if (ids.size() == 1) return ids[0];
        uint64_t total = 0;
        for (uint64_t size : sizes) total += size;
        if (total > UINT32_MAX || ids.size() > xblock_entries * xblock_entries) {
            failed = true;  // more than one node's data can hold
            return 0;
        }
        if (ids.size() <= xblock_entries) return write_id_block(1, ids.data(), ids.size(), total);
        std::vector<uint64_t> xblocks;
        for (size_t first = 0; first < ids.size(); first += xblock_entries) {
            size_t count = std::min(xblock_entries, ids.size() - first);
            uint64_t part = 0;
            for (size_t i = first; i < first + count; i++) part += sizes[i];
            xblocks.push_back(write_id_block(1, ids.data() + first, count, part));
        }
        return write_id_block(2, xblocks.data(), xblocks.size(), total);
    }

    uint64_t write_page(uint8_t type, std::string& page) {
        uint64_t ib = allocate(page_size, page_size);
        uint64_t bid = next_page_bid++;
        seal_page(page, type, signature(ib, bid), bid);
        write(ib, page);
        return ib;
    }

    // Writes one level of a B-tree: `count` entries of `entry_size` bytes, made by `fill`,
    // into pages of `level`; returns the pages for the level above.
    template <typename Fill, typename Key>
    std::vector<page_ref> write_level(uint8_t type, uint8_t level, size_t count, size_t entry_size,
                                      Fill fill, Key key) {
        std::vector<page_ref> pages;
        size_t per_page = bt_entries_space / entry_size;
        size_t first = 0;
        do {
            size_t n = std::min(per_page, count - first);
            std::string page(page_size, '\0');
            for (size_t i = 0; i < n; i++) fill(page, i * entry_size, first + i);
            page[488] = static_cast<char>(n);
            page[489] = static_cast<char>(per_page);
            page[490] = static_cast<char>(entry_size);
            page[491] = static_cast<char>(level);
            uint64_t bid = next_page_bid;
            uint64_t ib = write_page(type, page);
            pages.push_back({n ? key(first) : 0, bid, ib});
            first += n;
        } while (first < count);
        return pages;
    }

    // A whole B-tree over sorted leaf entries; returns the root page's id and offset.
    template <typename Fill, typename Key>
    page_ref write_tree(uint8_t type, size_t count, size_t leaf_entry_size, Fill fill, Key key) {
        std::vector<page_ref> level = write_level(type, 0, count, leaf_entry_size, fill, key);
        uint8_t depth = 0;
        while (level.size() > 1) {
            std::vector<page_ref> below = std::move(level);
            auto fill_branch = [&](std::string& page, size_t at, size_t i) {
                put_le64(page, at, below[i].key);
                put_le64(page, at + 8, below[i].bid);
                put_le64(page, at + 16, below[i].ib);
            };
            level = write_level(type, ++depth, below.size(), 24, fill_branch,
                                [&](size_t i) { return below[i].key; });
        }
        return level[0];
    }

    void write_free_maps() {
        for (uint64_t r = 0; r < regions.size(); r++) {
            if (!region_has_fmap(r)) continue;
            std::string runs(page_data_size, '\0');
            for (uint64_t i = 0; i < page_data_size && r + i < regions.size(); i++)
                runs[i] =
                    static_cast<char>(std::min<uint16_t>(regions[r + i].longest_free_run, 255));
            write(region_fmap_offset(r), map_page(page_fmap, runs, region_fmap_offset(r)));
        }
    }

    // The density list: the regions with free space, emptiest first.
    void write_density_list() {
        std::vector<uint32_t> order;
        for (uint32_t r = 0; r < regions.size(); r++)
            if (regions[r].free_slots > 0) order.push_back(r);
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            return regions[a].free_slots > regions[b].free_slots;
        });
        size_t count = std::min<size_t>(order.size(), 476 / 4);
        std::string page(page_size, '\0');
        page[0] = 0x01;  // no backfill under way
        page[1] = static_cast<char>(count);
        put_le32(page, 4, static_cast<uint32_t>(regions.size() - 1));
        for (size_t i = 0; i < count; i++)
            put_le32(page, 8 + 4 * i, order[i] | (uint32_t{regions[order[i]].free_slots} << 20));
        uint64_t bid = next_page_bid++;
        seal_page(page, page_dlist, signature(density_list_offset, bid), bid);
        write(density_list_offset, page);
    }

    void write_header(const page_ref& nbt, const page_ref& bbt, uint64_t eof) {
        std::string h(header_size, '\0');
        std::memcpy(h.data(), "!BDN", 4);
        put_le16(h, 8, 0x4D53);  // "SM": a personal folders file
        put_le16(h, 10, 23);     // Unicode
        put_le16(h, 12, 19);
        h[14] = 0x01;
        h[15] = 0x01;
        put_le64(h, 32, next_page_bid);
        put_le32(h, 40, 1);
        std::array<uint32_t, 32> counters{};
        for (uint32_t type = 0; type < 32; type++) counters[type] = nid_counter_floor(type);
        for (const node_record& node : nodes)
            counters[node.nid & 0x1F] = std::max(counters[node.nid & 0x1F], (node.nid >> 5) + 1);
        for (uint32_t type = 0; type < 32; type++) put_le32(h, 44 + 4 * type, counters[type]);
        uint64_t free_bytes = 0;
        for (const region_record& r : regions) free_bytes += uint64_t{r.free_slots} * slot_size;
        put_le64(h, 184, eof);
        put_le64(h, 192, region_start(regions.size() - 1));
        put_le64(h, 200, free_bytes);
        put_le64(h, 216, nbt.bid);
        put_le64(h, 224, nbt.ib);
        put_le64(h, 232, bbt.bid);
        put_le64(h, 240, bbt.ib);
        h[248] = 0x02;  // the allocation maps are valid
        std::memset(h.data() + 256, 0xFF, 256);
        h[512] = static_cast<char>(0x80);
        h[513] = 0x00;  // block data is stored as is
        put_le64(h, 516, next_bid);
        put_le32(h, 4, crc(std::string_view(h.data() + 8, 471)));
        put_le32(h, 524, crc(std::string_view(h.data() + 8, 516)));
        write(0, h);
    }

    bool finish() {
        if (failed) return false;
        std::sort(nodes.begin(), nodes.end(),
                  [](const node_record& a, const node_record& b) { return a.nid < b.nid; });
        for (size_t i = 1; i < nodes.size(); i++)
            if (nodes[i].nid == nodes[i - 1].nid) return false;  // two nodes of one id
        auto fill_node = [&](std::string& page, size_t at, size_t i) {
            put_le64(page, at, nodes[i].nid);
            put_le64(page, at + 8, nodes[i].data_bid);
            put_le64(page, at + 16, nodes[i].sub_bid);
            put_le32(page, at + 24, nodes[i].parent);
        };
        page_ref nbt = write_tree(page_nbt, nodes.size(), 32, fill_node,
                                  [&](size_t i) { return uint64_t{nodes[i].nid}; });
        auto fill_block = [&](std::string& page, size_t at, size_t i) {
            put_le64(page, at, blocks[i].bid);
            put_le64(page, at + 8, blocks[i].ib);
            put_le16(page, at + 16, blocks[i].cb);
            put_le16(page, at + 18, blocks[i].refs);
        };
        page_ref bbt = write_tree(page_bbt, blocks.size(), 24, fill_block,
                                  [&](size_t i) { return blocks[i].bid; });
        close_region();
        uint64_t eof = region_start(regions.size());
        write_free_maps();
        write_density_list();
        write(eof, {});  // the last region is whole
        write_header(nbt, bbt, eof);
        return !failed;
    }
};

pst_ndb::pst_ndb(pst_output& out) : impl_(std::make_unique<impl>(out)) {}
pst_ndb::~pst_ndb() = default;

uint64_t pst_ndb::add_data(std::string_view data) {
    return add_data([data](const item::piece_taker& take) { return take(data); });
}

uint64_t pst_ndb::add_data(const data_source& source) {
    std::vector<uint64_t> ids, sizes;
    std::string block;
    auto write = [&] {
        ids.push_back(impl_->write_block(block, false));
        sizes.push_back(block.size());
        block.clear();
    };
    source([&](std::string_view piece) {
        while (!piece.empty() && !impl_->failed) {
            size_t take = std::min(piece.size(), pst_block_data_max - block.size());
            block.append(piece.substr(0, take));
            piece.remove_prefix(take);
            if (block.size() == pst_block_data_max) write();
        }
        return !impl_->failed;
    });
    if (!block.empty() && !impl_->failed) write();
    return impl_->failed ? 0 : impl_->data_tree(ids, sizes);
}

uint64_t pst_ndb::add_pages(const std::vector<std::string>& pages) {
    std::vector<uint64_t> ids, sizes;
    for (const std::string& page : pages) {
        if (page.size() > pst_block_data_max) impl_->failed = true;
        if (impl_->failed) return 0;
        ids.push_back(impl_->write_block(page, false));
        sizes.push_back(page.size());
    }
    return impl_->failed ? 0 : impl_->data_tree(ids, sizes);
}

uint64_t pst_ndb::add_subnodes(std::vector<pst_subnode> entries) {
    if (entries.empty() || impl_->failed) return 0;
    std::sort(entries.begin(), entries.end(),
              [](const pst_subnode& a, const pst_subnode& b) { return a.nid < b.nid; });
    bool repeated = std::adjacent_find(entries.begin(), entries.end(),
                                       [](const pst_subnode& a, const pst_subnode& b) {
                                           return a.nid == b.nid;
                                       }) != entries.end();
    if (repeated || entries.size() > slblock_entries * siblock_entries) {
        impl_->failed = true;  // two subnodes of one id, or more than one node can hold
        return 0;
    }
    for (const pst_subnode& entry : entries) {
        impl_->add_reference(entry.data_bid);
        impl_->add_reference(entry.sub_bid);
    }
    std::vector<std::pair<uint32_t, uint64_t>> leaves;  // first nid, block
    for (size_t first = 0; first < entries.size(); first += slblock_entries) {
        size_t count = std::min(slblock_entries, entries.size() - first);
        std::string data(8 + 24 * count, '\0');
        data[0] = 0x02;
        put_le16(data, 2, static_cast<uint16_t>(count));
        for (size_t i = 0; i < count; i++) {
            const pst_subnode& entry = entries[first + i];
            put_le64(data, 8 + 24 * i, entry.nid);
            put_le64(data, 16 + 24 * i, entry.data_bid);
            put_le64(data, 24 + 24 * i, entry.sub_bid);
        }
        leaves.emplace_back(entries[first].nid, impl_->write_block(data, true));
    }
    if (leaves.size() == 1) return leaves[0].second;
    std::string data(8 + 16 * leaves.size(), '\0');
    data[0] = 0x02;
    data[1] = 0x01;
    put_le16(data, 2, static_cast<uint16_t>(leaves.size()));
    for (size_t i = 0; i < leaves.size(); i++) {
        put_le64(data, 8 + 16 * i, leaves[i].first);
        put_le64(data, 16 + 16 * i, leaves[i].second);
        impl_->add_reference(leaves[i].second);
    }
    return impl_->write_block(data, true);
}

void pst_ndb::add_node(uint32_t nid, uint64_t data_bid, uint64_t sub_bid, uint32_t parent_nid) {
    impl_->add_reference(data_bid);
    impl_->add_reference(sub_bid);
    impl_->nodes.push_back({nid, parent_nid, data_bid, sub_bid});
}

bool pst_ndb::finish() {
    return impl_->finish();
}

}  // namespace pst
