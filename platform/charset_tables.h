#pragma once
// Character tables of the single-byte charsets, the same on every system.

#include <cstdint>
#include <string_view>

namespace platform {

// Characters 0x80 to 0xFF of the charset iconv knows as `name` ("CP1251", "KOI8-R"); the
// lower half is ASCII. Null for a charset without a table.
const char16_t* single_byte_upper_half(std::string_view name);

// The character of GB18030's four-byte sequence number `pointer` (0 for 81 30 81 30);
// U+FFFD for a number that stands for none.
char32_t gb18030_four_byte_character(uint32_t pointer);

}  // namespace platform
