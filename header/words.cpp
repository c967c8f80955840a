#include "header/words.h"

#include <cstring>
#include <new>

#include "header/chars.h"

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

bool is_c_space(unsigned char byte) {
    return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Reads the two bytes after a Q '=' the way strtoul(…, 16) reads a two-character
// string: leading white space and a sign are allowed, reading stops at the first byte
// that is not a hex digit, and no digits at all give 0.
unsigned char q_escape_value(char first, char second) {
    char bytes[2] = {first, second};
    size_t at = 0;
    while (at < 2 && is_c_space(static_cast<unsigned char>(bytes[at]))) ++at;
    bool negative = false;
    if (at < 2 && (bytes[at] == '+' || bytes[at] == '-')) negative = bytes[at++] == '-';
    unsigned long value = 0;
    for (; at < 2 && hdr_hex_digit(bytes[at]) >= 0; ++at)
        value = value * 16 + hdr_hex_digit(bytes[at]);
    return static_cast<unsigned char>(negative ? 0 - value : value);
}

// One encoded word, split at its question marks.
struct encoded_word {
    std::string_view charset;
    std::string_view encoding;
    std::string_view text;
    size_t after;  // the position after the closing "?="
};

// Splits the encoded word whose "=?" stands at `start`; false when it is malformed (a
// question mark missing, or the third not followed by '='). Each search runs on to the
// value's end.
bool split_encoded_word(std::string_view value, size_t start, encoded_word* word) {
    size_t charset = start + 2;
    size_t encoding = value.find('?', charset);
    if (encoding == std::string_view::npos) return false;
    size_t text = value.find('?', ++encoding);
    if (text == std::string_view::npos) return false;
    size_t close = value.find('?', ++text);
    if (close == std::string_view::npos || value.substr(close + 1, 1) != "=") return false;
    word->charset = value.substr(charset, encoding - 1 - charset);
    word->encoding = value.substr(encoding, text - 1 - encoding);
    word->text = value.substr(text, close - text);
    word->after = close + 2;
    return true;
}

// The octets of a B or Q word into `octets`; false for any other encoding.
bool word_octets(const encoded_word& word, std::string& octets) {
    char kind = word.encoding.empty() ? '\0' : word.encoding[0];
    bool base64 = kind == 'B' || kind == 'b';
    if (!base64 && kind != 'Q' && kind != 'q') return false;
    octets.assign(word.text.size(), '\0');
    auto* out = reinterpret_cast<unsigned char*>(octets.data());
    size_t length = 0;
    const char* text = word.text.data();
    size_t size = word.text.size();
    size_t consumed = base64 ? hdr_base64_decode(&length, out, text, size, size)
                             : hdr_qp_decode(out, &length, text, size, size);
    octets.resize(consumed != 0 ? length : 0);
    return true;
}

bool only_wsp(std::string_view text) {
    for (char byte : text) {
        if (!hdr_is_wsp(byte)) return false;
    }
    return true;
}

// The octets of the pieces joined, the charsets ignored.
class octet_pieces : public hdr_word_pieces {
  public:
    explicit octet_pieces(size_t size) { octets_.reserve(size); }
    void raw(std::string_view bytes) override { octets_ += bytes; }
    void word(std::string_view, std::string_view octets) override { octets_ += octets; }
    std::string finish() {
        octets_.shrink_to_fit();
        return std::move(octets_);
    }

  private:
    std::string octets_;
};

}  // namespace

// The blanks after a word are held back: when a byte other than a blank follows them they
// are written as they stood; when "=?" (a word, or a malformed one) or the end follows
// them they are dropped.
void hdr_scan_words(std::string_view value, hdr_word_pieces& pieces) {
    std::string octets;
    bool after_word = false;
    size_t raw_start = 0;
    while (true) {
        size_t start = value.find("=?", raw_start);
        std::string_view raw =
            value.substr(raw_start, start == std::string_view::npos ? start : start - raw_start);
        if (!raw.empty() && !(after_word && only_wsp(raw))) pieces.raw(raw);
        if (start == std::string_view::npos) return;
        encoded_word word;
        if (!split_encoded_word(value, start, &word)) {
            pieces.raw(value.substr(start));
            return;
        }
        if (word_octets(word, octets)) pieces.word(word.charset, octets);
        raw_start = word.after;
        after_word = true;
    }
}

int hdr_decode_words(const char* input, std::string* output) {
    if (input == nullptr) return 22;
    if (output == nullptr) return 0;
    try {
        std::string_view value(input, std::strlen(input));
        octet_pieces octets(value.size());
        hdr_scan_words(value, octets);
        *output = octets.finish();
    } catch (const std::bad_alloc&) {
        return 12;
    }
    return 0;
}

bool hdr_base64_collect(std::string_view text, size_t* at, hdr_base64_group& group) {
    while (group.count < 4 && *at < text.size()) {
        int value = base64_values.value[static_cast<unsigned char>(text[(*at)++])];
        if (value == -2) return true;
        if (value >= 0) group.values[group.count++] = static_cast<uint32_t>(value);
    }
    return false;
}

size_t hdr_base64_group_bytes(const hdr_base64_group& group, unsigned char* out) {
    const uint32_t* v = group.values;
    if (group.count < 2) return 0;
    out[0] = static_cast<unsigned char>(v[0] << 2 | v[1] >> 4);
    if (group.count < 3) return 1;
    out[1] = static_cast<unsigned char>((v[1] & 0x0F) << 4 | v[2] >> 2);
    if (group.count < 4) return 2;
    out[2] = static_cast<unsigned char>((v[2] & 0x03) << 6 | v[3]);
    return 3;
}

// Groups of four values make three bytes. Bytes outside the alphabet are skipped; each
// '=' is a zero value that takes one byte off its group's output. A final incomplete
// group yields nothing, and neither does a text shorter than four bytes (no group fits
// below the limit).
size_t hdr_base64_decode(size_t* length, unsigned char* out, const char* text, size_t text_length,
                         size_t limit) {
    *length = 0;
    if (text_length == 0) return 0;
    std::string_view input(text, text_length);
    size_t at = 0;
    while (*length + 3 < limit) {
        hdr_base64_group group{};
        size_t padding = 0;
        while (group.count < 4 && at < text_length) {
            if (hdr_base64_collect(input, &at, group)) {
                group.values[group.count++] = 0;
                ++padding;
            }
        }
        if (group.count < 4) return at - group.count;
        hdr_base64_group_bytes(group, out + *length);
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
