#pragma once
// How numbers sit in the files Windows programs write: little-endian integers and the FILETIME
// count of time. The .msg and PST writers both lay out their bytes with these.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The low `bytes` bytes of `value`, least significant first, appended to `out`.
inline void put_le(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

// The same, written over the bytes at `at` (of `out`, at its offset `at`).
inline void put_le_at(char* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<char>(value >> (8 * i));
}
inline void put_le_at(std::string& out, size_t at, uint64_t value, int bytes) {
    put_le_at(out.data() + at, value, bytes);
}
inline void put_le16(char* at, uint16_t value) {
    put_le_at(at, value, 2);
}
inline void put_le32(char* at, uint32_t value) {
    put_le_at(at, value, 4);
}
inline void put_le16(std::string& out, size_t at, uint16_t value) {
    put_le_at(out, at, value, 2);
}
inline void put_le32(std::string& out, size_t at, uint32_t value) {
    put_le_at(out, at, value, 4);
}
inline void put_le64(std::string& out, size_t at, uint64_t value) {
    put_le_at(out, at, value, 8);
}

// Seconds from 1601-01-01, where a FILETIME counts from, to 1970-01-01 (UTC).
constexpr int64_t filetime_epoch_offset = 11644473600;

// Seconds since 1970 as a FILETIME: 100-nanosecond steps since 1601. The seconds must not lie
// before 1601.
constexpr uint64_t filetime_of(int64_t seconds) {
    return static_cast<uint64_t>(seconds + filetime_epoch_offset) * 10000000u;
}

}  // namespace platform
