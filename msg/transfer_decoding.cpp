#include "msg/transfer_decoding.h"

#include "header/chars.h"
#include "header/words.h"

namespace msg {

namespace {

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
    while (at < text.size() && hdr_is_wsp(text[at])) ++at;
    if (at == text.size() || line_break_at(text, at) > 0) return at;
    return std::string_view::npos;
}

}  // namespace

std::string base64_decoded(std::string_view text) {
    // Decoded through a small buffer, so the result is written once, never zero-filled.
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    unsigned char piece[4096];
    size_t filled = 0;
    // A group cut short by a '=' or by the end gives the bytes its values hold: two
    // values one byte, three two.
    for (size_t at = 0; at < text.size();) {
        hdr_base64_group group{};
        hdr_base64_collect(text, &at, group);
        filled += hdr_base64_group_bytes(group, piece + filled);
        if (filled > sizeof piece - 3) {
            out.append(reinterpret_cast<const char*>(piece), filled);
            filled = 0;
        }
    }
    out.append(reinterpret_cast<const char*>(piece), filled);
    return out;
}

std::string quoted_printable_decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char c = text[at];
        if (hdr_is_wsp(c)) {
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
        } else if (at + 2 < text.size() && hdr_hex_digit(text[at + 1]) >= 0 &&
                   hdr_hex_digit(text[at + 2]) >= 0) {
            out +=
                static_cast<char>(hdr_hex_digit(text[at + 1]) * 16 + hdr_hex_digit(text[at + 2]));
            at += 3;
        } else {
            out += c;
            ++at;
        }
    }
    return out;
}

}  // namespace msg
