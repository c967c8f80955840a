#include "mime/transfer_decoding.h"

#include "header/chars.h"
#include "header/words.h"

namespace mime {

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

// The next line of `text` from `*at` on, without its line break; `*at` moves past it.
std::string_view next_line(std::string_view text, size_t* at) {
    size_t start = *at;
    size_t end = start;
    while (end < text.size() && line_break_at(text, end) == 0) ++end;
    *at = end + line_break_at(text, end);
    return text.substr(start, end - start);
}

// One uuencoded line: a length character, then four characters for every three bytes. The
// characters stand for their value plus 32, the backquote for zero. A line shorter than its
// length says lost trailing blanks in transit (a space is a zero), so it is read as if they
// were there.
void uudecode_line(std::string_view line, std::string& out) {
    auto value = [](char c) { return static_cast<unsigned>(c - 0x20) & 0x3F; };
    size_t length = value(line[0]);
    line.remove_prefix(1);
    for (size_t at = 0; length > 0; at += 4) {
        unsigned v[4] = {0, 0, 0, 0};
        for (size_t i = 0; i < 4 && at + i < line.size(); ++i) v[i] = value(line[at + i]);
        unsigned char bytes[3] = {static_cast<unsigned char>(v[0] << 2 | v[1] >> 4),
                                  static_cast<unsigned char>((v[1] & 0x0F) << 4 | v[2] >> 2),
                                  static_cast<unsigned char>((v[2] & 0x03) << 6 | v[3])};
        size_t take = length < 3 ? length : 3;
        out.append(reinterpret_cast<const char*>(bytes), take);
        length -= take;
    }
}

}  // namespace

bool is_uuencoding(std::string_view encoding) {
    return encoding == "x-uuencode" || encoding == "uuencode" || encoding == "x-uue";
}

namespace {

// Finds the "begin" line; `*at` moves past it and `name` gets the name it gives ("begin 644
// name": the mode, then the name to the line's end).
bool find_begin_line(std::string_view text, size_t* at, std::string* name) {
    while (*at < text.size()) {
        std::string_view line = next_line(text, at);
        if (line.substr(0, 6) != "begin ") continue;
        size_t mode_end = line.find(' ', 6);
        std::string_view given =
            mode_end == std::string_view::npos ? std::string_view() : line.substr(mode_end + 1);
        while (!given.empty() && hdr_is_wsp(given.back())) given.remove_suffix(1);
        *name = std::string(given);
        return true;
    }
    return false;
}

}  // namespace

std::optional<uudecoded_file> uudecoded(std::string_view text, bool name_only) {
    size_t at = 0;
    uudecoded_file file;
    if (!find_begin_line(text, &at, &file.name)) return std::nullopt;
    while (!name_only && at < text.size()) {
        std::string_view line = next_line(text, &at);
        while (line.size() > 1 && hdr_is_wsp(line.back())) line.remove_suffix(1);
        if (line == "end") break;
        if (!line.empty()) uudecode_line(line, file.bytes);
    }
    return file;
}

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

}  // namespace mime
