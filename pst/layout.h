#pragma once
// Where things sit in a Unicode Personal Folders file, and the checksums its pages and blocks
// carry: shared by the writer and the tests' strict reader, so both follow one rule.

#include <cstdint>
#include <string_view>

namespace pst {

constexpr uint64_t header_size = 564;
constexpr uint64_t density_list_offset = 0x4200;
constexpr uint64_t first_map_offset = 0x4400;  // the first allocation map
constexpr uint64_t page_size = 512;
constexpr uint64_t page_data_size = 496;        // before the 16-byte page trailer
constexpr uint64_t slot_size = 64;              // one allocation-map bit
constexpr uint64_t region_size = 496 * 8 * 64;  // 253,952 bytes mapped by one allocation map
constexpr uint64_t block_max = 8192;            // a block with its trailer and padding
constexpr uint64_t block_trailer_size = 16;
constexpr uint64_t block_data_max = block_max - block_trailer_size;

// Page types, in the page trailer.
enum : uint8_t {
    page_bbt = 0x80,
    page_nbt = 0x81,
    page_fmap = 0x82,
    page_pmap = 0x83,
    page_amap = 0x84,
    page_fpmap = 0x85,
    page_dlist = 0x86,
};

// The map pages every region starts with: its allocation map; a page map every 8 regions;
// a free map at region 128 and every 496 regions after; a free-page map at region 8192 and
// every 31,744 regions after. They follow each other in that order.
constexpr bool region_has_pmap(uint64_t region) {
    return region % 8 == 0;
}
constexpr bool region_has_fmap(uint64_t region) {
    return region >= 128 && (region - 128) % 496 == 0;
}
constexpr bool region_has_fpmap(uint64_t region) {
    return region >= 8192 && (region - 8192) % 31744 == 0;
}
constexpr uint64_t region_start(uint64_t region) {
    return first_map_offset + region * region_size;
}
constexpr uint64_t region_map_pages(uint64_t region) {
    return 1 + (region_has_pmap(region) ? 1 : 0) + (region_has_fmap(region) ? 1 : 0) +
           (region_has_fpmap(region) ? 1 : 0);
}
// The offset of the page map, free map or free-page map of a region that has one.
constexpr uint64_t region_pmap_offset(uint64_t region) {
    return region_start(region) + page_size;
}
constexpr uint64_t region_fmap_offset(uint64_t region) {
    return region_start(region) + page_size * (1 + (region_has_pmap(region) ? 1 : 0));
}
constexpr uint64_t region_fpmap_offset(uint64_t region) {
    return region_start(region) + page_size * (region_map_pages(region) - 1);
}
// The region holding a file offset at or after the first allocation map.
constexpr uint64_t region_of(uint64_t offset) {
    return (offset - first_map_offset) / region_size;
}

// Block ids count in steps of 4; bit 1 marks a block holding ids rather than data.
constexpr uint64_t bid_internal = 2;

// Readers find the initial nid counters of a new file in the header; a type's counter is
// above every index of that type in use.
constexpr uint32_t nid_counter_floor(uint32_t nid_type) {
    switch (nid_type) {
        case 0x03:
            return 0x4000;  // search folders
        case 0x04:
            return 0x10000;  // messages
        case 0x08:
            return 0x8000;  // associated messages
        default:
            return 0x400;
    }
}

// The checksum of pages, blocks and the header: CRC-32 (reflected 0xEDB88320) from 0 with
// no final inversion.
uint32_t crc(std::string_view bytes, uint32_t seed = 0);
// The signature of a page or block, from its offset and id.
constexpr uint16_t signature(uint64_t ib, uint64_t bid) {
    uint64_t mixed = ib ^ bid;
    return static_cast<uint16_t>((mixed >> 16) ^ mixed);
}

}  // namespace pst
