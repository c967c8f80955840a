#include "item/item.h"

#include <bit>

#include "platform/byte_layout.h"
#include "platform/text.h"

namespace item {

namespace {

constexpr size_t piece_size = 1 << 15;  // small enough to reuse heap memory, not map it anew

// Where a piece of UTF-8 may end so that converting the pieces one by one gives what
// converting the whole does: before a byte that continues no sequence, or inside a run of
// four continuation bytes, which no sequence spans.
size_t utf8_piece_end(std::string_view utf8, size_t at) {
    size_t end = at + piece_size;
    if (end >= utf8.size()) return utf8.size();
    for (size_t back = 0; back < 4; ++back) {
        if ((static_cast<uint8_t>(utf8[end - back]) & 0xC0) != 0x80) return end - back;
    }
    return end;
}

bool take_utf16(std::u16string_view text, const piece_taker& take) {
    if constexpr (std::endian::native == std::endian::little) {
        return take({reinterpret_cast<const char*>(text.data()), text.size() * 2});
    } else {
        std::string bytes;
        for (char16_t c : text) platform::put_le(bytes, c, 2);
        return take(bytes);
    }
}

}  // namespace

uint64_t stored_size(uint32_t tag, const property_value& value) {
    switch (property_type(tag)) {
        case type_unicode:
            return 2 * (value.text_utf8.empty() ? value.text.size()
                                                : platform::utf16_length(value.text_utf8));
        default:
            return value.bytes.empty() ? value.viewed.size() : value.bytes.size();
    }
}

bool stored_pieces(uint32_t tag, const property_value& value, const piece_taker& take) {
    switch (property_type(tag)) {
        case type_unicode:
            if (value.text_utf8.empty()) return take_utf16(value.text, take);
            for (size_t at = 0; at < value.text_utf8.size();) {
                size_t end = utf8_piece_end(value.text_utf8, at);
                std::u16string piece = platform::utf8_text_to_utf16(
                    std::string_view(value.text_utf8).substr(at, end - at));
                if (!take_utf16(piece, take)) return false;
                at = end;
            }
            return true;
        default:
            return take(value.bytes.empty() ? value.viewed : std::string_view(value.bytes));
    }
}

}  // namespace item
