#include "msg/transfer_decoding.h"

#include <cstdint>

namespace msg {

namespace {

// The value of each byte in the base64 alphabet; -1 for the others, -2 for '='.
struct base64_table {
    int8_t value[256];
    constexpr base64_table() : value() {
        for (int i = 0; i < 256; ++i) value[i] = -1;
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(alphabet[i])] = int8_t(i);
        value['='] = -2;
    }
};
constexpr base64_table base64_values;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The length of the line break at `at` (CR LF, LF or a lone CR), 0 when there is none.
size_t line_break_at(std::string_view text, size_t at) {
    if (at >= text.size()) return 0;
    if (text[at] == '\n') return 1;
    if (text[at] != '\r') return 0;
    return at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
}

// From `at`, the position after a run of blanks when a line break or the end follows it;
// npos when something else does.
size_t blanks_to_line_end(std::string_view text, size_t at) {
    while (at < text.size() && is_blank(text[at])) ++at;
    if (at == text.size() || line_break_at(text, at) > 0) return at;
    return std::string_view::npos;
}

}  // namespace

std::string base64_decoded(std::string_view text) {
    // Decoded through a small buffer, so the result is written once, never zero-filled.
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    char piece[4096];
    char* write = piece;
    uint32_t bits = 0;
    int count = 0;
    // The bytes of a group cut short by padding or by the end: two characters hold one
    // byte, three hold two.
    auto flush_partial = [&] {
        if (count >= 2) *write++ = static_cast<char>(bits >> (6 * count - 8));
        if (count == 3) *write++ = static_cast<char>(bits >> 2);
        bits = 0;
        count = 0;
    };
    for (char c : text) {
        if (write > piece + sizeof piece - 3) {
            out.append(piece, static_cast<size_t>(write - piece));
            write = piece;
        }
        int value = base64_values.value[static_cast<unsigned char>(c)];
        if (value >= 0) {
            bits = bits << 6 | static_cast<uint32_t>(value);
            if (++count == 4) {
                write[0] = static_cast<char>(bits >> 16);
                write[1] = static_cast<char>(bits >> 8);
                write[2] = static_cast<char>(bits);
                write += 3;
                bits = 0;
                count = 0;
            }
        } else if (value == -2) {
            flush_partial();  // padding: the group ends here
        }
    }
    flush_partial();
    out.append(piece, static_cast<size_t>(write - piece));
    return out;
}

std::string quoted_printable_decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char c = text[at];
        if (is_blank(c)) {
            size_t end = blanks_to_line_end(text, at);
            if (end != std::string_view::npos) {
                at = end;  // trailing blanks were added in transport
                continue;
            }
            out += c;
            ++at;
        } else if (c != '=') {
            out += c;
            ++at;
        } else if (size_t end = blanks_to_line_end(text, at + 1); end != std::string_view::npos) {
            at = end + line_break_at(text, end);  // a soft line break
        } else if (at + 2 < text.size() && hex_value(text[at + 1]) >= 0 &&
                   hex_value(text[at + 2]) >= 0) {
            out += static_cast<char>(hex_value(text[at + 1]) * 16 + hex_value(text[at + 2]));
            at += 3;
        } else {
            out += c;
            ++at;
        }
    }
    return out;
}

}  // namespace msg
