#pragma once
// Little-endian 32-bit words of a store file.

#include <cstdint>
#include <cstdio>
#include <cstring>

// Reads one word from the stream a byte at a time, least significant byte first. A byte
// at or beyond the end of the file counts as 0xFF, so a word wholly past the end is
// 0xFFFFFFFF.
uint32_t _dbx_read_word(FILE* file);

// The word stored at `bytes`, least significant byte first; no alignment needed.
inline uint32_t _dbx_load_word(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}
