#include "platform/text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

namespace {

// Long text is converted through a small buffer a piece at a time, so the result is
// written once, never filled with zeros first.
constexpr size_t conversion_piece = 4096;

// True when a piece is all ASCII; written as one pass the compiler makes vector code of.
template <typename Unit>
bool all_ascii(const Unit* units, size_t count) {
    Unit seen = 0;
    for (size_t i = 0; i < count; ++i) seen |= units[i];
    return seen < 0x80;
}

std::string_view up_to_nul(std::string_view bytes) {
    auto nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

// Windows-1252, bytes 0x80 to 0x9F. The five bytes the code page leaves undefined map to
// the C1 control of the same value, as Windows maps them.
constexpr char16_t windows_1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void append_utf16(std::u16string& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<char16_t>(code);
    } else {
        code -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (code >> 10));
        out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
}

// Decodes one UTF-8 sequence at `at`; returns its length, 0 when it is not valid.
size_t decode_utf8(std::string_view text, size_t at, char32_t& code) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(at);
    // No lead byte above F4 (five- and six-byte forms, or beyond U+10FFFF) starts a sequence.
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead < 0xE0  ? 2
                    : lead >= 0xE0 && lead < 0xF0  ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size()) return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return 0;
    return length;
}

// UTF-8 to UTF-16; a byte outside valid UTF-8 becomes what `stray` makes of it.
template <typename Stray>
std::u16string decode_utf8_text(std::string_view utf8, Stray stray) {
    std::u16string text;
    text.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        char32_t code = 0;
        size_t length = decode_utf8(utf8, at, code);
        append_utf16(text, length ? code : stray(static_cast<uint8_t>(utf8[at])));
        at += length ? length : 1;
    }
    return text;
}

// UTF-16 to UTF-8; an unpaired surrogate is handed to `lone`, which appends its form.
template <typename Lone>
std::string encode_utf8_text(std::u16string_view text, Lone lone) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        char32_t code = text[at];
        if (code >= 0xD800 && code < 0xDC00 && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
            text[at + 1] < 0xE000) {
            append_utf8(out, 0x10000 + ((code - 0xD800) << 10) + (text[++at] - 0xDC00));
        } else if (code >= 0xD800 && code < 0xE000) {
            lone(out, static_cast<char16_t>(code));
        } else {
            append_utf8(out, code);
        }
    }
    return out;
}

}  // namespace

std::u16string ansi_to_utf16(std::string_view bytes) {
    return ansi_bytes_to_utf16(up_to_nul(bytes));
}

std::u16string ansi_bytes_to_utf16(std::string_view bytes) {
    if (bytes.empty()) return std::u16string();
#ifdef _WIN32
    int length = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                     nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                        length);
    return std::u16string(wide.begin(), wide.end());
#else
    return windows_1252_to_utf16(bytes);
#endif
}

bool append_ansi(std::u16string_view text, std::string& out) {
    if (text.empty()) return true;
#ifdef _WIN32
    std::wstring wide(text.begin(), text.end());
    int size = static_cast<int>(wide.size());
    int length =
        WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    size_t at = out.size();
    out.resize(at + length);
    WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), size, out.data() + at, length, nullptr,
                        nullptr);
    // Best-fit mappings change a character without a word: only reading the bytes back
    // tells whether they hold the text.
    return ansi_bytes_to_utf16(std::string_view(out).substr(at)) == text;
#else
    bool exact = true;
    char piece[conversion_piece];
    for (size_t at = 0; at < text.size(); at += conversion_piece) {
        size_t count = std::min(conversion_piece, text.size() - at);
        if (all_ascii(text.data() + at, count)) {
            for (size_t i = 0; i < count; ++i) piece[i] = static_cast<char>(text[at + i]);
            out.append(piece, count);
            continue;
        }
        for (size_t i = 0; i < count; ++i) {
            char16_t c = text[at + i];
            if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
                piece[i] = static_cast<char>(c);
                continue;
            }
            // The table is searched only for the characters outside Latin-1.
            const char16_t* high =
                std::find(std::begin(windows_1252_high), std::end(windows_1252_high), c);
            exact = exact && high != std::end(windows_1252_high);
            piece[i] = high != std::end(windows_1252_high)
                           ? static_cast<char>(0x80 + (high - windows_1252_high))
                           : '?';
        }
        out.append(piece, count);
    }
    return exact;
#endif
}

std::string utf16_to_ansi(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    append_ansi(text, bytes);
    return bytes;
}

std::u16string windows_1252_to_utf16(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    char16_t piece[conversion_piece];
    for (size_t at = 0; at < bytes.size(); at += conversion_piece) {
        size_t count = std::min(conversion_piece, bytes.size() - at);
        const auto* from = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        // Mostly ASCII: such a piece widens in a loop the compiler makes vector code of.
        if (all_ascii(from, count)) {
            for (size_t i = 0; i < count; ++i) piece[i] = from[i];
        } else {
            for (size_t i = 0; i < count; ++i) {
                piece[i] = from[i] >= 0x80 && from[i] < 0xA0 ? windows_1252_high[from[i] - 0x80]
                                                             : static_cast<char16_t>(from[i]);
            }
        }
        text.append(piece, count);
    }
    return text;
}

void append_utf8(std::string& out, char32_t code) {
    if (code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

size_t utf8_sequence_length(std::string_view text, size_t at) {
    char32_t code = 0;
    return utf8_sequence(text, at, &code);
}

bool valid_utf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        size_t length = utf8_sequence_length(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

size_t utf8_sequence(std::string_view text, size_t at, char32_t* code) {
    char32_t decoded = 0;
    size_t length = at < text.size() ? decode_utf8(text, at, decoded) : 0;
    if (length != 0) *code = decoded;
    return length;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string take_unique_name(std::vector<std::string>& taken, const std::string& name) {
    auto is_taken = [&taken](const std::string& candidate) {
        for (const std::string& earlier : taken)
            if (equal_ignoring_case(earlier, candidate)) return true;
        return false;
    };
    std::string unique = name;
    for (int k = 2; is_taken(unique); ++k) unique = name + " (" + std::to_string(k) + ")";
    taken.push_back(unique);
    return unique;
}

std::u16string utf8_to_utf16(std::string_view utf8) {
    return utf8_text_to_utf16(up_to_nul(utf8));
}

std::u16string utf8_text_to_utf16(std::string_view utf8) {
    return decode_utf8_text(utf8, [](uint8_t) -> char32_t { return 0xFFFD; });
}

size_t utf16_length(std::string_view utf8) {
    size_t units = 0;
    for (size_t at = 0; at < utf8.size();) {
        char32_t code = 0;
        size_t length = decode_utf8(utf8, at, code);
        units += length == 4 ? 2 : 1;
        at += length ? length : 1;
    }
    return units;
}

std::string utf16_to_utf8(std::u16string_view text) {
    return encode_utf8_text(text, [](std::string& out, char16_t) { append_utf8(out, 0xFFFD); });
}

std::u16string path_to_utf16(std::string_view path) {
#ifdef _WIN32
    path = up_to_nul(path);
    std::string bytes(path);
    UINT code_page = CP_UTF8;
    DWORD flags = MB_ERR_INVALID_CHARS;
    int length = MultiByteToWideChar(code_page, flags, bytes.c_str(), -1, nullptr, 0);
    if (length == 0) {  // not UTF-8: the bytes are text of the ANSI code page
        code_page = CP_THREAD_ACP;
        flags = 0;
        length = MultiByteToWideChar(code_page, flags, bytes.c_str(), -1, nullptr, 0);
    }
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(code_page, flags, bytes.c_str(), -1, wide.data(), length);
    wide.resize(length > 0 ? length - 1 : 0);
    return std::u16string(wide.begin(), wide.end());
#else
    return decode_utf8_text(up_to_nul(path),
                            [](uint8_t byte) -> char32_t { return 0xDC00 + byte; });
#endif
}

std::string path_from_utf16(std::u16string_view path) {
#ifdef _WIN32
    return utf16_to_utf8(path);
#else
    return encode_utf8_text(path, [](std::string& out, char16_t code) {
        if (code >= 0xDC80 && code <= 0xDCFF) {
            out += static_cast<char>(code - 0xDC00);
        } else {
            append_utf8(out, 0xFFFD);
        }
    });
#endif
}

std::string printable(std::string_view name) {
    auto is_control = [](unsigned char byte) { return byte < 0x20 || byte == 0x7F; };
    std::string shown;
    for (size_t at = 0; at < name.size(); ++at) {
        auto byte = static_cast<unsigned char>(name[at]);
        // A C1 control in UTF-8 is C2 80 to C2 9F.
        bool c1 = byte == 0xC2 && at + 1 < name.size() &&
                  static_cast<unsigned char>(name[at + 1]) >= 0x80 &&
                  static_cast<unsigned char>(name[at + 1]) <= 0x9F;
        if (c1) ++at;
        shown += c1 || is_control(byte) ? '?' : char(byte);
    }
    return shown;
}

}  // namespace platform
