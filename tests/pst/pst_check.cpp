#include "pst_check.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <string_view>
#include <unordered_map>

namespace {

// The layout of a Unicode file as [MS-PST] gives it, written out here rather than taken
// from the writer, so that a wrong number in the writer is caught, not shared.
constexpr uint64_t header_size = 564;             // 2.2.2.6 HEADER (Unicode)
constexpr uint64_t density_list_offset = 0x4200;  // 2.2.2.7.9 DList
constexpr uint64_t first_map_offset = 0x4400;     // 2.2.2.7.2: the first AMap
constexpr uint64_t page_size = 512;               // 2.2.2.7
constexpr uint64_t page_data_size = 496;          // before the 16-byte PAGETRAILER
constexpr uint64_t slot_size = 64;                // the bytes one AMap bit stands for
constexpr uint64_t region_size = 253952;          // 496 * 8 * 64 bytes mapped by one AMap
constexpr uint64_t block_max = 8192;              // 2.2.2.8: a block with its trailer and padding
constexpr uint64_t block_trailer_size = 16;       // BLOCKTRAILER (Unicode)
constexpr uint64_t bid_internal = 2;              // 2.2.2.2 BID: the bit of an internal block

// ptype of the PAGETRAILER (2.2.2.7.1).
constexpr uint8_t page_bbt = 0x80, page_nbt = 0x81, page_fmap = 0x82, page_pmap = 0x83,
                  page_amap = 0x84, page_fpmap = 0x85, page_dlist = 0x86;

// Every region starts with its AMap; a PMap follows every 8th (2.2.2.7.3), an FMap the
// 128th and every 496th after (2.2.2.7.4), an FPMap the 8,192nd and every 31,744th after
// (2.2.2.7.5), in that order.
bool region_has_pmap(uint64_t region) {
    return region % 8 == 0;
}
bool region_has_fmap(uint64_t region) {
    return region >= 128 && (region - 128) % 496 == 0;
}
bool region_has_fpmap(uint64_t region) {
    return region >= 8192 && (region - 8192) % 31744 == 0;
}
uint64_t region_start(uint64_t region) {
    return first_map_offset + region * region_size;
}
uint64_t region_of(uint64_t offset) {
    return (offset - first_map_offset) / region_size;
}
uint64_t region_pmap_offset(uint64_t region) {
    return region_start(region) + page_size;
}
uint64_t region_fmap_offset(uint64_t region) {
    return region_start(region) + page_size * (region_has_pmap(region) ? 2 : 1);
}
uint64_t region_fpmap_offset(uint64_t region) {
    return region_start(region) +
           page_size * (1 + (region_has_pmap(region) ? 1 : 0) + (region_has_fmap(region) ? 1 : 0));
}

// 5.3: the CRC of the header, pages and blocks, a CRC-32 of the reflected polynomial
// 0xEDB88320 started from 0 and never inverted; one bit at a time, with no table.
uint32_t crc(std::string_view bytes) {
    uint32_t value = 0;
    for (unsigned char byte : bytes) {
        value ^= byte;
        for (int bit = 0; bit < 8; bit++) value = (value >> 1) ^ (0xEDB88320u & (0u - (value & 1)));
    }
    return value;
}

// 5.5: the signature of a page or block, from the low 32 bits of its offset and id.
uint16_t signature(uint64_t ib, uint64_t bid) {
    uint32_t mixed = static_cast<uint32_t>(ib) ^ static_cast<uint32_t>(bid);
    return static_cast<uint16_t>((mixed >> 16) ^ (mixed & 0xFFFF));
}

uint64_t get(const std::string& bytes, size_t at, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; i--)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string hex(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// An allocation of a heap's first block (2.3.1.5 HID, 2.3.1.4 HNPAGEMAP); empty when the id
// names none there.
std::string heap_item(const std::string& data, uint64_t hid) {
    uint64_t index = (hid >> 5) & 0x7FF;
    if ((hid & 0x1F) != 0 || (hid >> 16) != 0 || index == 0 || data.size() < 12) return {};
    uint64_t map = get(data, 0, 2);
    if (map + 4 > data.size() || index > get(data, map, 2) || map + 6 + 2 * index > data.size())
        return {};
    uint64_t start = get(data, map + 2 + 2 * index, 2), end = get(data, map + 4 + 2 * index, 2);
    return start <= end && end <= map ? data.substr(start, end - start) : std::string();
}

// The records of a property context: a heap (2.3.1.2 HNHDR, client signature 0xBC) whose
// root is a B-tree of 2-byte keys and 6-byte entries (2.3.2.1 BTHHEADER), one level here.
std::map<uint32_t, std::string> properties_of(const std::string& data,
                                              const std::map<uint32_t, pst_node_content>* subs) {
    std::map<uint32_t, std::string> out;
    if (data.size() < 12 || static_cast<uint8_t>(data[2]) != 0xEC ||
        static_cast<uint8_t>(data[3]) != 0xBC)
        return out;
    std::string header = heap_item(data, get(data, 4, 4));
    if (header.size() != 8 || static_cast<uint8_t>(header[0]) != 0xB5 || header[1] != 2 ||
        header[2] != 6 || header[3] != 0)
        return out;
    std::string leaf = heap_item(data, get(header, 4, 4));
    for (size_t at = 0; at + 8 <= leaf.size(); at += 8) {
        uint32_t type = static_cast<uint32_t>(get(leaf, at + 2, 2));
        uint32_t tag = static_cast<uint32_t>(get(leaf, at, 2)) << 16 | type;
        uint64_t value = get(leaf, at + 4, 4);
        bool inline_value = type == 0x2 || type == 0x3 || type == 0x4 || type == 0xA || type == 0xB;
        if (inline_value) {
            out[tag] = leaf.substr(at + 4, 4);
        } else if ((value & 0x1F) == 0) {
            out[tag] = value == 0 ? std::string() : heap_item(data, value);
        } else if (subs != nullptr && subs->count(static_cast<uint32_t>(value))) {
            out[tag] = subs->at(static_cast<uint32_t>(value)).data;
        }
    }
    return out;
}

struct extent {
    uint64_t offset;
    uint64_t size;
    std::string what;
};

struct block_entry {
    uint64_t ib;
    uint16_t cb;
    uint16_t ref_count;
    uint32_t found_refs = 0;
    bool read_ok = false;
};

struct node_entry {
    uint32_t nid;
    uint64_t data_bid;
    uint64_t sub_bid;
    uint32_t parent;
};

class checker {
  public:
    checker(const std::string& path, bool read_contents)
        : in_(path, std::ios::binary), contents_(read_contents) {
        if (in_) {
            in_.seekg(0, std::ios::end);
            size_ = static_cast<uint64_t>(in_.tellg());
        }
    }

    pst_check_result run() {
        if (!in_) {
            fail("cannot be read");
            return std::move(result_);
        }
        if (!check_header()) return std::move(result_);
        walk_tree(page_nbt, nbt_bid_, nbt_ib_, -1, 0, UINT64_MAX, 0);
        walk_tree(page_bbt, bbt_bid_, bbt_ib_, -1, 0, UINT64_MAX, 0);
        check_blocks();
        check_nodes();
        check_maps();
        check_density_list();
        return std::move(result_);
    }

  private:
    std::ifstream in_;
    bool contents_;
    uint64_t size_ = 0;
    pst_check_result result_;
    uint64_t eof_ = 0, next_page_bid_ = 0, next_block_bid_ = 0, amap_free_ = 0;
    uint64_t nbt_bid_ = 0, nbt_ib_ = 0, bbt_bid_ = 0, bbt_ib_ = 0;
    uint32_t nid_counters_[32] = {};
    uint64_t regions_ = 0;
    std::vector<extent> used_;
    std::set<uint64_t> page_bids_, page_offsets_;
    std::vector<node_entry> nodes_;
    std::map<uint64_t, block_entry> blocks_;
    std::vector<uint16_t> region_free_, region_run_;
    bool counting_ = true;  // whether a block read counts as a reference to it

    void fail(const std::string& problem) {
        if (result_.problems.size() < 60) result_.problems.push_back(problem);
    }

    bool read(uint64_t offset, size_t size, std::string& out) {
        out.assign(size, '\0');
        if (offset > size_ || size > size_ - offset) return false;
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(out.data(), static_cast<std::streamsize>(size));
        return static_cast<size_t>(in_.gcount()) == size;
    }

    bool check_header() {
        std::string h;
        if (!read(0, header_size, h)) {
            fail("shorter than a header");
            return false;
        }
        if (h.compare(0, 4, "!BDN") != 0) fail("header: no !BDN magic");
        if (get(h, 4, 4) != crc(std::string_view(h).substr(8, 471)))
            fail("header: partial CRC wrong");
        if (get(h, 524, 4) != crc(std::string_view(h).substr(8, 516)))
            fail("header: full CRC wrong");
        if (get(h, 8, 2) != 0x4D53) fail("header: client magic is not SM");
        if (get(h, 10, 2) != 23) fail("header: version is not 23 (Unicode)");
        if (get(h, 12, 2) != 19) fail("header: client version is not 19");
        if (h[14] != 1 || h[15] != 1) fail("header: platform bytes are not 1");
        if (static_cast<unsigned char>(h[512]) != 0x80) fail("header: sentinel is not 0x80");
        if (h[513] != 0) fail("header: block data is encoded");
        if (h[248] != 2) fail("header: allocation maps not marked valid");
        for (size_t i = 256; i < 512; i++)
            if (static_cast<unsigned char>(h[i]) != 0xFF) {
                fail("header: deprecated free maps not 0xFF");
                break;
            }
        next_page_bid_ = get(h, 32, 8);
        next_block_bid_ = get(h, 516, 8);
        for (int t = 0; t < 32; t++)
            nid_counters_[t] = static_cast<uint32_t>(get(h, 44 + 4 * t, 4));
        eof_ = get(h, 184, 8);
        uint64_t amap_last = get(h, 192, 8);
        amap_free_ = get(h, 200, 8);
        nbt_bid_ = get(h, 216, 8);
        nbt_ib_ = get(h, 224, 8);
        bbt_bid_ = get(h, 232, 8);
        bbt_ib_ = get(h, 240, 8);
        if (eof_ != size_)
            fail("header: file end " + std::to_string(eof_) + " but the file has " +
                 std::to_string(size_));
        if (eof_ < first_map_offset + region_size || (eof_ - first_map_offset) % region_size != 0) {
            fail("header: file end is not the end of a whole region");
            return false;
        }
        regions_ = (eof_ - first_map_offset) / region_size;
        if (amap_last != region_start(regions_ - 1))
            fail("header: last allocation map at " + hex(amap_last));
        return true;
    }

    // One page of a B-tree and everything under it; `level` -1 for the root.
    void walk_tree(uint8_t type, uint64_t bid, uint64_t ib, int level, uint64_t low, uint64_t high,
                   int depth) {
        std::string where =
            std::string(type == page_nbt ? "node" : "block") + " tree page " + hex(ib);
        if (depth > 8) return fail(where + ": tree deeper than 8 levels");
        if (ib % page_size != 0 || ib < first_map_offset) return fail(where + ": misplaced");
        if (!page_offsets_.insert(ib).second) return fail(where + ": reached twice");
        std::string page;
        if (!read(ib, page_size, page)) return fail(where + ": past the end of the file");
        used_.push_back({ib, page_size, where});
        if (static_cast<uint8_t>(page[496]) != type || page[497] != page[496])
            return fail(where + ": wrong page type");
        if (get(page, 500, 4) != crc(std::string_view(page).substr(0, page_data_size)))
            fail(where + ": CRC wrong");
        if (get(page, 498, 2) != signature(ib, bid)) fail(where + ": signature wrong");
        if (get(page, 504, 8) != bid) fail(where + ": id differs from its reference");
        if (!page_bids_.insert(bid).second) fail(where + ": page id used twice");
        if (bid >= next_page_bid_) fail(where + ": page id not below the header's next page id");
        unsigned count = static_cast<unsigned char>(page[488]),
                 max = static_cast<unsigned char>(page[489]);
        unsigned entry = static_cast<unsigned char>(page[490]),
                 page_level = static_cast<unsigned char>(page[491]);
        if (level >= 0 && static_cast<int>(page_level) != level)
            fail(where + ": level " + std::to_string(page_level));
        unsigned expected_entry = page_level > 0 ? 24 : type == page_nbt ? 32 : 24;
        if (entry != expected_entry || max != 488 / entry || count > max)
            return fail(where + ": entry size or count wrong");
        if (count == 0 && level >= 0) fail(where + ": empty page below the root");
        uint64_t previous = 0;
        for (unsigned i = 0; i < count; i++) {
            size_t at = i * entry;
            uint64_t key = get(page, at, 8);
            if (i > 0 && key <= previous) fail(where + ": keys out of order");
            if (key < low || key >= high)
                fail(where + ": key " + hex(key) + " outside its parent's range");
            if (i == 0 && level >= 0 && key != low)
                fail(where + ": first key differs from its parent's key");
            previous = key;
            if (page_level > 0) {
                uint64_t next = i + 1 < count ? get(page, at + 24, 8) : high;
                walk_tree(type, get(page, at + 8, 8), get(page, at + 16, 8),
                          static_cast<int>(page_level) - 1, key, next, depth + 1);
            } else if (type == page_nbt) {
                if (key > UINT32_MAX) fail(where + ": node id over 32 bits");
                nodes_.push_back({static_cast<uint32_t>(key), get(page, at + 8, 8),
                                  get(page, at + 16, 8),
                                  static_cast<uint32_t>(get(page, at + 24, 4))});
            } else {
                if (key & 1) fail(where + ": block id " + hex(key) + " has its reserved bit set");
                blocks_[key] = {get(page, at + 8, 8), static_cast<uint16_t>(get(page, at + 16, 2)),
                                static_cast<uint16_t>(get(page, at + 18, 2))};
            }
        }
    }

    void check_blocks() {
        std::string block;
        for (auto& [bid, entry] : blocks_) {
            std::string where = "block " + hex(bid);
            uint64_t size = (entry.cb + block_trailer_size + slot_size - 1) / slot_size * slot_size;
            if (bid >= next_block_bid_) fail(where + ": id not below the header's next block id");
            if (entry.ib % slot_size != 0 || entry.ib < first_map_offset || size > block_max) {
                fail(where + ": misplaced or too large");
                continue;
            }
            if (!read(entry.ib, size, block)) {
                fail(where + ": past the end of the file");
                continue;
            }
            used_.push_back({entry.ib, size, where});
            size_t trailer = size - block_trailer_size;
            if (get(block, trailer, 2) != entry.cb)
                fail(where + ": size differs from the block tree's");
            if (get(block, trailer + 2, 2) != signature(entry.ib, bid))
                fail(where + ": signature wrong");
            if (get(block, trailer + 4, 4) != crc(std::string_view(block).substr(0, entry.cb)))
                fail(where + ": CRC wrong");
            if (get(block, trailer + 8, 8) != bid) fail(where + ": trailer id differs");
            entry.read_ok = true;
        }
    }

    // The bytes of a block the block tree lists (when asked for), counting the reference;
    // false when it is absent or unreadable.
    bool referenced_block(uint64_t bid, const std::string& from, std::string& data,
                          bool want_bytes = true) {
        auto found = blocks_.find(bid & ~uint64_t{1});
        if (found == blocks_.end()) {
            fail(from + ": refers to block " + hex(bid) + ", which the block tree lacks");
            return false;
        }
        if (counting_) found->second.found_refs++;
        if (!found->second.read_ok) return false;
        if (!want_bytes) return true;
        return read(found->second.ib, found->second.cb, data);
    }

    // The data under a block: the block itself, or the blocks an id block lists.
    uint64_t data_tree(uint64_t bid, const std::string& from, std::string* out,
                       int expected_level = -1) {
        std::string data;
        bool internal = bid & bid_internal;
        if (!referenced_block(bid, from, data, internal || out)) return 0;
        std::string where = "block " + hex(bid);
        if (!internal) {
            if (expected_level > 0) fail(where + ": data block where an id block belongs");
            if (out) *out += data;
            return blocks_[bid & ~uint64_t{1}].cb;
        }
        if (data.size() < 8 || data[0] != 0x01) {
            fail(where + ": internal block under a node's data is not an id block");
            return 0;
        }
        int level = data[1];
        uint64_t count = get(data, 2, 2), total = get(data, 4, 4), sum = 0;
        if ((level != 1 && level != 2) || (expected_level >= 0 && level != expected_level))
            fail(where + ": id block level " + std::to_string(level));
        if (data.size() != 8 + 8 * count || count == 0)
            return fail(where + ": id count and size disagree"), 0;
        for (uint64_t i = 0; i < count; i++)
            sum += data_tree(get(data, 8 + 8 * i, 8), where, out, level - 1);
        if (sum != total)
            fail(where + ": total " + std::to_string(total) + " but its blocks hold " +
                 std::to_string(sum));
        return sum;
    }

    void subnode_tree(uint64_t bid, const std::string& from,
                      std::map<uint32_t, pst_node_content>* out, int expected_level = -1,
                      uint64_t first_nid = UINT64_MAX) {
        std::string data;
        if (!referenced_block(bid, from, data)) return;
        std::string where = "subnode block " + hex(bid);
        if (!(bid & bid_internal) || data.size() < 8 || data[0] != 0x02)
            return fail(where + ": not a subnode block");
        int level = data[1];
        uint64_t count = get(data, 2, 2);
        if ((level != 0 && level != 1) || (expected_level >= 0 && level != expected_level))
            return fail(where + ": level " + std::to_string(level));
        size_t entry = level == 0 ? 24 : 16;
        if (data.size() != 8 + entry * count || count == 0)
            return fail(where + ": entry count and size disagree");
        uint64_t previous = 0;
        for (uint64_t i = 0; i < count; i++) {
            size_t at = 8 + entry * i;
            uint64_t nid = get(data, at, 8);
            if (i > 0 && nid <= previous) fail(where + ": subnodes out of order");
            if (i == 0 && first_nid != UINT64_MAX && nid != first_nid)
                fail(where + ": first id differs from its parent's");
            previous = nid;
            if (level == 1) {
                subnode_tree(get(data, at + 8, 8), where, out, 0, nid);
                continue;
            }
            pst_node_content* content = out ? &(*out)[static_cast<uint32_t>(nid)] : nullptr;
            uint64_t data_bid = get(data, at + 8, 8), sub_bid = get(data, at + 16, 8);
            if (data_bid == 0)
                fail(where + ": subnode " + hex(nid) + " without data");
            else
                data_tree(data_bid, where, content ? &content->data : nullptr);
            if (sub_bid) subnode_tree(sub_bid, where, content ? &content->subnodes : nullptr);
        }
    }

    void check_nodes() {
        std::set<uint32_t> nids;
        for (const node_entry& node : nodes_) nids.insert(node.nid);
        for (const node_entry& node : nodes_) {
            std::string where = "node " + hex(node.nid);
            pst_node_content* content = contents_ ? &result_.nodes[node.nid] : nullptr;
            if (content) content->parent = node.parent;
            // A node may hold nothing yet (an empty queue): no data block at all.
            if (node.data_bid) data_tree(node.data_bid, where, content ? &content->data : nullptr);
            if (node.sub_bid)
                subnode_tree(node.sub_bid, where, content ? &content->subnodes : nullptr);
            if (node.parent != 0 && !nids.count(node.parent))
                fail(where + ": parent " + hex(node.parent) + " is no node");
            if ((node.nid >> 5) >= nid_counters_[node.nid & 0x1F])
                fail(where + ": at or above the header's counter");
        }
        check_minimal_nodes(nids);
        for (const auto& [bid, entry] : blocks_) {
            if (entry.found_refs == 0)
                fail("block " + hex(bid) + ": referenced by nothing");
            else if (entry.found_refs + 1 != entry.ref_count)  // the block tree's entry counts too
                fail("block " + hex(bid) + ": reference count " + std::to_string(entry.ref_count) +
                     ", referenced " + std::to_string(entry.found_refs) +
                     " times besides the block tree");
        }
    }

    // 2.7.1: a file with a message store holds the nodes of a minimal file: the store, the
    // named-property map, the search nodes, the root folder, the template tables, the top of
    // the personal folders, the search root and the deleted items. Each special folder the
    // store's valid-folder mask names (PidTagValidFolderMask, [MS-OXPROPS]) has an
    // entry id naming a folder node; the inbox's bit has none (Outlook finds it as the
    // receive folder).
    void check_minimal_nodes(const std::set<uint32_t>& nids) {
        constexpr uint32_t message_store = 0x21;
        if (!nids.count(message_store)) return;
        constexpr uint32_t minimal[] = {0x21,  0x61,  0x122,  0x1E1,  0x201, 0x261, 0x281,
                                        0x2A1, 0x321, 0x60D,  0x60E,  0x60F, 0x610, 0x671,
                                        0x692, 0x6B6, 0x8022, 0x8042, 0x8062};
        for (uint32_t nid : minimal)
            if (!nids.count(nid)) fail("node " + hex(nid) + " of a minimal file is missing");
        std::string data;
        for (const node_entry& node : nodes_)
            if (node.nid == message_store && node.data_bid) {
                counting_ = false;  // read again: no reference of its own
                data_tree(node.data_bid, "message store", &data);
                counting_ = true;
            }
        std::map<uint32_t, std::string> store = properties_of(data, nullptr);
        auto mask = store.find(0x35DF0003);
        if (mask == store.end()) return fail("message store: no valid-folder mask");
        const std::pair<uint32_t, uint32_t> folders[] = {
            {0x01, 0x35E00102}, {0x04, 0x35E20102}, {0x08, 0x35E30102}, {0x10, 0x35E40102},
            {0x20, 0x35E50102}, {0x40, 0x35E60102}, {0x80, 0x35E70102}};
        for (auto [bit, tag] : folders) {
            if (!(get(mask->second, 0, 4) & bit)) continue;
            auto id = store.find(tag);
            uint32_t nid = id == store.end() || id->second.size() != 24
                               ? 0
                               : static_cast<uint32_t>(get(id->second, 20, 4));
            if ((nid & 0x1F) != 0x02 || !nids.count(nid))
                fail("message store: entry id " + hex(tag) + " names no folder");
        }
    }

    void map_page(uint8_t type, uint64_t ib, std::string& page, const char* what) {
        std::string where = std::string(what) + " " + hex(ib);
        used_.push_back({ib, page_size, where});
        if (!read(ib, page_size, page)) return fail(where + ": past the end of the file");
        if (static_cast<uint8_t>(page[496]) != type || page[497] != page[496])
            fail(where + ": wrong page type");
        if (get(page, 498, 2) != 0) fail(where + ": signature not 0");
        if (get(page, 500, 4) != crc(std::string_view(page).substr(0, page_data_size)))
            fail(where + ": CRC wrong");
        if (get(page, 504, 8) != ib) fail(where + ": id is not its offset");
    }

    // Every region's maps, and its allocation bits against the pages and blocks in use.
    void check_maps() {
        std::vector<std::string> amaps(regions_);
        std::string page;
        for (uint64_t r = 0; r < regions_; r++) {
            map_page(page_amap, region_start(r), amaps[r], "allocation map");
            if (region_has_pmap(r)) map_page(page_pmap, region_pmap_offset(r), page, "page map");
            if (region_has_fmap(r)) map_page(page_fmap, region_fmap_offset(r), page, "free map");
            if (region_has_fpmap(r))
                map_page(page_fpmap, region_fpmap_offset(r), page, "free-page map");
        }
        std::sort(used_.begin(), used_.end(),
                  [](const extent& a, const extent& b) { return a.offset < b.offset; });
        std::vector<std::string> expected(regions_, std::string(page_data_size, '\0'));
        uint64_t end = 0;
        for (const extent& e : used_) {
            if (e.offset < end) fail(e.what + ": overlaps what comes before it");
            end = std::max(end, e.offset + e.size);
            uint64_t r = region_of(e.offset);
            if (r >= regions_ || region_of(e.offset + e.size - 1) != r) {
                fail(e.what + ": outside the mapped file or across a region's end");
                continue;
            }
            for (uint64_t slot = (e.offset - region_start(r)) / slot_size;
                 slot < (e.offset + e.size - region_start(r) + slot_size - 1) / slot_size; slot++)
                expected[r][slot / 8] =
                    static_cast<char>(expected[r][slot / 8] | (0x80 >> (slot % 8)));
        }
        uint64_t free_slots = 0;
        for (uint64_t r = 0; r < regions_; r++) {
            uint16_t free = 0, run = 0, longest = 0;
            for (size_t slot = 0; slot < page_data_size * 8; slot++) {
                bool taken = expected[r][slot / 8] & (0x80 >> (slot % 8));
                run = taken ? 0 : run + 1;
                free += taken ? 0 : 1;
                longest = std::max(longest, run);
            }
            free_slots += free;
            region_free_.push_back(free);
            region_run_.push_back(longest);
            if (amaps[r].compare(0, page_data_size, expected[r]) != 0)
                fail("allocation map " + hex(region_start(r)) +
                     ": bits differ from the pages and blocks in use");
        }
        if (free_slots * slot_size != amap_free_)
            fail("header: free space " + std::to_string(amap_free_) + ", maps show " +
                 std::to_string(free_slots * slot_size));
        for (uint64_t r = 0; r < regions_; r++) {
            if (!region_has_fmap(r)) continue;
            read(region_fmap_offset(r), page_data_size, page);
            for (uint64_t i = 0; i < page_data_size && r + i < regions_; i++)
                if (static_cast<unsigned char>(page[i]) !=
                    std::min<uint16_t>(region_run_[r + i], 255))
                    fail("free map " + hex(region_fmap_offset(r)) + ": entry " + std::to_string(i) +
                         " wrong");
        }
    }

    void check_density_list() {
        std::string page;
        const std::string where = "density list";
        if (!read(density_list_offset, page_size, page)) return fail(where + ": missing");
        if (static_cast<uint8_t>(page[496]) != page_dlist || page[497] != page[496])
            return fail(where + ": wrong page type");
        uint64_t bid = get(page, 504, 8);
        if (get(page, 500, 4) != crc(std::string_view(page).substr(0, page_data_size)))
            fail(where + ": CRC wrong");
        if (get(page, 498, 2) != signature(density_list_offset, bid))
            fail(where + ": signature wrong");
        if (bid >= next_page_bid_ || !page_bids_.insert(bid).second)
            fail(where + ": page id not unique or too high");
        unsigned count = static_cast<unsigned char>(page[1]);
        if (count > 119) return fail(where + ": more entries than a page holds");
        if (get(page, 4, 4) >= regions_) fail(where + ": current page past the last region");
        std::set<uint64_t> seen;
        uint64_t previous_free = UINT64_MAX;
        for (unsigned i = 0; i < count; i++) {
            uint64_t value = get(page, 8 + 4 * i, 4), r = value & 0xFFFFF, free = value >> 20;
            if (r >= regions_ || !seen.insert(r).second) {
                fail(where + ": entry " + std::to_string(i) +
                     " names no region or one already named");
                continue;
            }
            if (free != region_free_[r])
                fail(where + ": entry " + std::to_string(i) + " free slots wrong");
            if (free > previous_free) fail(where + ": not emptiest first");
            previous_free = free;
        }
        size_t with_space = std::count_if(region_free_.begin(), region_free_.end(),
                                          [](uint16_t f) { return f > 0; });
        if (count != std::min<size_t>(with_space, 119))
            fail(where + ": leaves out regions with free space");
    }
};

}  // namespace

pst_check_result check_pst_file(const std::string& path, bool read_contents) {
    return checker(path, read_contents).run();
}

std::map<uint32_t, std::string> pst_properties(const pst_node_content& node) {
    return properties_of(node.data, &node.subnodes);
}
