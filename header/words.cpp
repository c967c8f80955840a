#include "header/words.h"

#include <cstring>
#include <new>
#include <string_view>

namespace {

bool is_wsp(char byte) {
    return byte == ' ' || byte == '\t';
}

// The 6-bit value of a base64 byte, -1 for '=' (a zero that counts as padding), -2 for a
// byte outside the alphabet.
int base64_value(unsigned char byte) {
    if (byte >= 'A' && byte <= 'Z') return byte - 'A';
    if (byte >= 'a' && byte <= 'z') return byte - 'a' + 26;
    if (byte >= '0' && byte <= '9') return byte - '0' + 52;
    if (byte == '+') return 62;
    if (byte == '/') return 63;
    if (byte == '=') return -1;
    return -2;
}

int hex_digit(unsigned char byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    return -1;
}

bool is_c_space(unsigned char byte) {
    return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Reads the two bytes after a Q '=' the way strtoul(…, 16) reads a two-character
// string: leading white space and a sign are allowed, reading stops at the first byte
// that is not a hex digit, and no digits at all give 0.
unsigned char q_escape_value(unsigned char first, unsigned char second) {
    unsigned char bytes[2] = {first, second};
    size_t at = 0;
    while (at < 2 && is_c_space(bytes[at])) ++at;
    bool negative = false;
    if (at < 2 && (bytes[at] == '+' || bytes[at] == '-')) negative = bytes[at++] == '-';
    unsigned long value = 0;
    for (; at < 2 && hex_digit(bytes[at]) >= 0; ++at) value = value * 16 + hex_digit(bytes[at]);
    return static_cast<unsigned char>(negative ? 0 - value : value);
}

// One encoded word, split at its question marks.
struct encoded_word {
    std::string_view encoding;
    std::string_view text;
    const char* after;  // the byte after the closing "?="
};

// Splits the encoded word whose "=?" stands at `start`; false when it is malformed (a
// question mark missing, or the third not followed by '=').
bool split_encoded_word(const char* start, encoded_word* word) {
    const char* charset = start + 2;
    const char* encoding = std::strchr(charset, '?');
    if (encoding == nullptr) return false;
    ++encoding;
    const char* text = std::strchr(encoding, '?');
    if (text == nullptr) return false;
    ++text;
    const char* close = std::strchr(text, '?');
    if (close == nullptr || close[1] != '=') return false;
    word->encoding = std::string_view(encoding, text - 1 - encoding);
    word->text = std::string_view(text, close - text);
    word->after = close + 2;
    return true;
}

// Appends the octets of one encoded word; an encoding other than B or Q yields nothing.
void append_decoded(const encoded_word& word, std::string& output) {
    char kind = word.encoding.empty() ? '\0' : word.encoding[0];
    if (kind != 'B' && kind != 'b' && kind != 'Q' && kind != 'q') return;

    std::string buffer(word.text.size(), '\0');
    auto* out = reinterpret_cast<unsigned char*>(buffer.data());
    size_t length = 0;
    size_t consumed =
        kind == 'B' || kind == 'b'
            ? hdr_base64_decode(&length, out, word.text.data(), word.text.size(), word.text.size())
            : hdr_qp_decode(out, &length, word.text.data(), word.text.size(), word.text.size());
    if (consumed != 0 && length != 0) output.append(buffer, 0, length);
}

}  // namespace

// White space between two encoded words never reaches the output; after the last word of
// a value it is dropped too. Other white space after an encoded word is written as it
// stood once a byte other than white space follows. A malformed word ends decoding: the
// rest of the value from its "=?" on is copied unchanged.
int hdr_decode_words(const char* input, std::string* output) {
    if (input == nullptr) return 22;
    if (output == nullptr) return 0;
    try {
        std::string decoded;
        decoded.reserve(std::strlen(input));
        size_t held_back =
            0;  // white space bytes seen since an encoded word; 0 when not just after one
        bool after_word = false;
        const char* at = input;
        while (*at != '\0') {
            if (at[0] == '=' && at[1] == '?') {
                encoded_word word;
                if (!split_encoded_word(at, &word)) {
                    decoded.append(at);
                    break;
                }
                append_decoded(word, decoded);
                at = word.after;
                after_word = true;
                held_back = 0;
            } else if (after_word && is_wsp(*at)) {
                ++held_back;
                ++at;
            } else {
                if (after_word) decoded.append(at - held_back, held_back);
                after_word = false;
                held_back = 0;
                decoded += *at++;
            }
        }
        decoded.shrink_to_fit();
        *output = std::move(decoded);
    } catch (const std::bad_alloc&) {
        return 12;
    }
    return 0;
}

// Groups of four values make three bytes. Bytes outside the alphabet are skipped; each
// '=' is a zero value that takes one byte off its group's output. A final incomplete
// group yields nothing, and neither does a text shorter than four bytes (no group fits
// below the limit).
size_t hdr_base64_decode(size_t* length, unsigned char* out, const char* text, size_t text_length,
                         size_t limit) {
    *length = 0;
    if (text_length == 0) return 0;
    size_t at = 0;
    while (*length + 3 < limit) {
        unsigned values[4];
        size_t collected = 0;
        size_t padding = 0;
        while (collected < 4 && at < text_length) {
            int value = base64_value(static_cast<unsigned char>(text[at++]));
            if (value == -2) continue;
            if (value == -1) {
                ++padding;
                value = 0;
            }
            values[collected++] = static_cast<unsigned>(value);
        }
        if (collected < 4) return at - collected;
        unsigned char* group = out + *length;
        group[0] = static_cast<unsigned char>(values[0] << 2 | values[1] >> 4);
        group[1] = static_cast<unsigned char>((values[1] & 0x0F) << 4 | values[2] >> 2);
        group[2] = static_cast<unsigned char>((values[2] & 0x03) << 6 | values[3]);
        *length += padding < 3 ? 3 - padding : 0;
        if (at == text_length) return at;
    }
    return at;
}

// '_' is a space, "=XX" a byte in hex, '=' before LF a soft line break and CR a line end;
// a '=' with fewer than two bytes after it, or a final CR, ends the text.
size_t hdr_qp_decode(unsigned char* out, size_t* length, const char* text, size_t text_length,
                     size_t limit) {
    *length = 0;
    size_t at = 0;
    while (at < text_length && *length < limit) {
        auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '=') {
            if (text_length - at < 3) break;
            if (text[at + 1] == '\n') {
                at += 2;
                continue;
            }
            out[(*length)++] = q_escape_value(text[at + 1], text[at + 2]);
            at += 3;
        } else if (byte == '\r') {
            if (at + 1 == text_length) break;
            out[(*length)++] = '\n';
            at += 2;
        } else {
            out[(*length)++] = byte == '_' ? ' ' : byte;
            ++at;
        }
    }
    return at;
}
