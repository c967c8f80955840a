#pragma once
// Character tables for the charsets Windows has no code page for.

namespace platform {

// Characters 0xA0 to 0xFF of ISO-8859-`part` (10, 14 or 16); null for other parts.
const char16_t* iso_8859_upper_half(int part);

}  // namespace platform
