#include "platform/charset_forms.h"

#include <cstdint>

#include "platform/text.h"

namespace platform {

namespace {

constexpr char32_t replacement = 0xFFFD;

// The base64 value of a byte; -1 for one outside the alphabet.
int base64_value(unsigned char byte) {
    if (byte >= 'A' && byte <= 'Z') return byte - 'A';
    if (byte >= 'a' && byte <= 'z') return byte - 'a' + 26;
    if (byte >= '0' && byte <= '9') return byte - '0' + 52;
    if (byte == '+') return 62;
    if (byte == '/') return 63;
    return -1;
}

}  // namespace

namespace {

// Whether the pairs of bytes show little-endian text: ASCII in the first byte and a NUL in the
// second more often than the other way round.
bool shows_little_endian(std::string_view bytes) {
    size_t little = 0, big = 0;
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        auto first = static_cast<unsigned char>(bytes[at]),
             second = static_cast<unsigned char>(bytes[at + 1]);
        little += first != 0 && first < 0x80 && second == 0;
        big += first == 0 && second != 0 && second < 0x80;
    }
    return little > big;
}

}  // namespace

// A pair of surrogates becomes one character; a lone one, or an odd byte at the end, U+FFFD.
std::string utf16_form_to_utf8(std::string_view bytes, utf16_order without_mark) {
    bool big = without_mark == utf16_order::big_endian ||
               (without_mark == utf16_order::as_shown && !shows_little_endian(bytes));
    size_t at = 0;
    if (bytes.size() >= 2) {
        auto first = static_cast<unsigned char>(bytes[0]),
             second = static_cast<unsigned char>(bytes[1]);
        if ((first == 0xFE && second == 0xFF) || (first == 0xFF && second == 0xFE)) {
            big = first == 0xFE;
            at = 2;
        }
    }
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (; at + 1 < bytes.size(); at += 2) {
        auto high = static_cast<unsigned char>(bytes[at + (big ? 0 : 1)]);
        auto low = static_cast<unsigned char>(bytes[at + (big ? 1 : 0)]);
        units += static_cast<char16_t>(high << 8 | low);
    }
    std::string text = utf16_to_utf8(units);
    if (at < bytes.size()) append_utf8(text, replacement);
    return text;
}

// The bits of a base64 run make UTF-16 units; bits left over at its end are dropped. A
// '-' right after a run ends it and is no text.
std::string utf7_to_utf8(std::string_view bytes) {
    std::u16string units;
    std::string text;
    auto flush = [&] {
        text += utf16_to_utf8(units);
        units.clear();
    };
    for (size_t at = 0; at < bytes.size();) {
        auto byte = static_cast<unsigned char>(bytes[at++]);
        if (byte >= 0x80) {
            flush();
            append_utf8(text, replacement);
        } else if (byte != '+') {
            flush();
            text += static_cast<char>(byte);
        } else if (at < bytes.size() && bytes[at] == '-') {
            flush();
            text += '+';
            ++at;
        } else {
            uint32_t bits = 0;
            int count = 0;
            for (int value; at < bytes.size() &&
                            (value = base64_value(static_cast<unsigned char>(bytes[at]))) >= 0;
                 ++at) {
                bits = (bits << 6 | static_cast<uint32_t>(value)) & 0x3FFFFF;
                count += 6;
                if (count >= 16) {
                    count -= 16;
                    units += static_cast<char16_t>(bits >> count & 0xFFFF);
                }
            }
            if (at < bytes.size() && bytes[at] == '-') ++at;
        }
    }
    flush();
    return text;
}

namespace {

// What the double bytes of ISO-2022-JP stand for after each escape.
enum class jis_set { ascii, katakana, jis_x0208, jis_x0212, jis_x0213_plane2, gb2312, ksc5601 };

struct jis_escape {
    std::string_view bytes;  // after ESC
    jis_set set;
};

constexpr jis_escape jis_escapes[] = {
    {"(B", jis_set::ascii},
    {"(J", jis_set::ascii},
    {"(H", jis_set::ascii},
    {"(I", jis_set::katakana},
    {"$@", jis_set::jis_x0208},
    {"$B", jis_set::jis_x0208},
    {"$(B", jis_set::jis_x0208},
    {"$(O", jis_set::jis_x0208},
    {"$(Q", jis_set::jis_x0208},
    {"$(D", jis_set::jis_x0212},
    {"$(P", jis_set::jis_x0213_plane2},
    {"$A", jis_set::gb2312},
    {"$(C", jis_set::ksc5601},
};

// Collects bytes of one double-byte charset and converts them together, so that its
// characters reach the converter whole.
class jis_output {
  public:
    explicit jis_output(const charset_converter& convert) : convert_(convert) {}
    void bytes(std::string_view charset, std::string_view bytes) {
        if (charset != charset_) flush();
        charset_ = charset;
        pending_ += bytes;
    }
    void character(char32_t code) {
        flush();
        append_utf8(text_, code);
    }
    std::string finish() {
        flush();
        return std::move(text_);
    }

  private:
    void flush() {
        if (!pending_.empty()) text_ += convert_(charset_, pending_);
        pending_.clear();
    }
    const charset_converter& convert_;
    std::string_view charset_;
    std::string pending_;
    std::string text_;
};

// A JIS X 0208 row and cell (each 0x21 to 0x7E) as the two bytes of Shift_JIS, whose
// Windows form also holds the extensions (NEC and IBM rows) mailers sent.
void add_shift_jis(unsigned row, unsigned cell, jis_output& out) {
    char pair[2] = {
        static_cast<char>((row + 1) / 2 + (row <= 0x5E ? 0x70 : 0xB0)),
        static_cast<char>(cell + (row & 1 ? (cell >= 0x60 ? 0x20 : 0x1F) : 0x7E)),
    };
    out.bytes("cp932", std::string_view(pair, 2));
}

void add_double(jis_set set, unsigned first, unsigned second, jis_output& out) {
    char high[3] = {static_cast<char>(first | 0x80), static_cast<char>(second | 0x80), 0};
    switch (set) {
        case jis_set::jis_x0208:
            return add_shift_jis(first, second, out);
        case jis_set::jis_x0212: {
            char euc[3] = {'\x8F', high[0], high[1]};
            return out.bytes("euc-jp", std::string_view(euc, 3));
        }
        case jis_set::gb2312:
            return out.bytes("gbk", std::string_view(high, 2));
        case jis_set::ksc5601:
            return out.bytes("euc-kr", std::string_view(high, 2));
        default:
            return out.character(replacement);  // no system has a table for the plane
    }
}

bool is_double_set(jis_set set) {
    return set != jis_set::ascii && set != jis_set::katakana;
}

}  // namespace

// SO and SI switch to half-width katakana and back; a byte 0xA1 to 0xDF is one such
// character in any state. Controls and blanks are taken as they are in every state.
std::string iso_2022_jp_to_utf8(std::string_view bytes, const charset_converter& convert) {
    jis_output out(convert);
    jis_set set = jis_set::ascii;
    bool shifted = false;
    for (size_t at = 0; at < bytes.size();) {
        auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte == 0x1B) {
            const jis_escape* found = nullptr;
            for (const jis_escape& escape : jis_escapes) {
                if (bytes.substr(at + 1, escape.bytes.size()) == escape.bytes) found = &escape;
            }
            if (found == nullptr) {
                out.character(replacement);
                ++at;
                continue;
            }
            set = found->set;
            shifted = false;
            at += 1 + found->bytes.size();
        } else if (byte == 0x0E || byte == 0x0F) {
            shifted = byte == 0x0E;
            ++at;
        } else if (byte >= 0xA1 && byte <= 0xDF) {
            char kana = static_cast<char>(byte);
            out.bytes("cp932", std::string_view(&kana, 1));
            ++at;
        } else if (byte >= 0x80) {
            out.character(replacement);
            ++at;
        } else if (byte <= 0x20 || byte == 0x7F) {
            char control = static_cast<char>(byte);
            out.bytes("cp932", std::string_view(&control, 1));
            ++at;
        } else if (shifted || set == jis_set::katakana) {
            char kana = static_cast<char>(byte | 0x80);
            if (byte <= 0x5F) {
                out.bytes("cp932", std::string_view(&kana, 1));
            } else {
                out.character(replacement);
            }
            ++at;
        } else if (is_double_set(set)) {
            auto second = at + 1 < bytes.size() ? static_cast<unsigned char>(bytes[at + 1]) : 0u;
            if (second <= 0x20 || second >= 0x7F) {  // cut off: the lone byte is no character
                out.character(replacement);
                ++at;
                continue;
            }
            add_double(set, byte, second, out);
            at += 2;
        } else {
            char ascii = static_cast<char>(byte);
            out.bytes("cp932", std::string_view(&ascii, 1));
            ++at;
        }
    }
    return out.finish();
}

}  // namespace platform
