#pragma once
// The layout of a store's message blocks, shared by the scan and the message reader.

#include <cstdint>

namespace dbx_layout {

constexpr uint32_t header_size = 16;  // four words: own offset, marker, size, next offset
constexpr uint32_t data_size = 512;   // the data area after the header
constexpr uint32_t block_size = header_size + data_size;
constexpr uint32_t live_marker = 512;   // second header word of a live block
constexpr uint32_t freed_marker = 508;  // second header word of a freed block
constexpr uint32_t freed_size = 528;    // third header word of a freed block
constexpr uint32_t sector_size = 512;   // a store found in a disk image starts on a sector

// The message bytes in a block's data area, from the size word of its header: a live
// block's used bytes, all of a freed block's.
constexpr uint32_t message_bytes(uint32_t size_word) {
    return size_word < data_size ? size_word : data_size;
}

// Offsets are 32-bit: past the first 4 GiB of a file no block can name its own position.
constexpr uint64_t addressable = uint64_t(1) << 32;

// The word stored at `bytes`, least significant byte first; no alignment needed.
inline uint32_t load_word(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

}  // namespace dbx_layout
