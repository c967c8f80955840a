// Text of a named charset to UTF-8, through the system's own converters: iconv on Linux,
// MultiByteToWideChar on Windows. Both systems know the same names, so a charset the table
// does not hold is unknown everywhere and the caller's fallback gives the same text.

#include <cerrno>
#include <cstring>

#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/charset_tables.h"
#else
#include <iconv.h>

#include <map>
#endif

namespace platform {

namespace {

struct charset_entry {
    const char* names;       // the IANA name and its aliases in lower case, blank-separated
    unsigned code_page;      // Windows; 0 when Windows has none
    const char* iconv_name;  // glibc
    int iso_part;            // ISO-8859 part read from our own table on Windows, else 0
};

// ISO-8859-1 and US-ASCII are read as Windows-1252, their common superset: mailers label
// Windows-1252 text (curly quotes, the euro sign) as ISO-8859-1 all the time. The Chinese,
// Japanese and Korean names map to the Windows supersets for the same reason.
constexpr charset_entry charsets[] = {
    {"utf-8 utf8", 65001, "UTF-8", 0},
    {"us-ascii ascii iso-8859-1 iso8859-1 iso_8859-1 latin1 l1 windows-1252 cp1252", 1252, "CP1252",
     0},
    {"iso-8859-2 iso8859-2 iso_8859-2 latin2 l2", 28592, "ISO-8859-2", 0},
    {"iso-8859-3 iso8859-3 iso_8859-3 latin3 l3", 28593, "ISO-8859-3", 0},
    {"iso-8859-4 iso8859-4 iso_8859-4 latin4 l4", 28594, "ISO-8859-4", 0},
    {"iso-8859-5 iso8859-5 iso_8859-5 cyrillic", 28595, "ISO-8859-5", 0},
    {"iso-8859-6 iso8859-6 iso_8859-6 arabic", 28596, "ISO-8859-6", 0},
    {"iso-8859-7 iso8859-7 iso_8859-7 greek", 28597, "ISO-8859-7", 0},
    {"iso-8859-8 iso8859-8 iso_8859-8 iso-8859-8-i hebrew", 28598, "ISO-8859-8", 0},
    {"iso-8859-9 iso8859-9 iso_8859-9 latin5 l5", 28599, "ISO-8859-9", 0},
    {"iso-8859-10 iso8859-10 iso_8859-10 latin6 l6", 0, "ISO-8859-10", 10},
    {"iso-8859-11 iso8859-11 tis-620 windows-874 cp874", 874, "CP874", 0},
    {"iso-8859-13 iso8859-13 iso_8859-13 latin7", 28603, "ISO-8859-13", 0},
    {"iso-8859-14 iso8859-14 iso_8859-14 latin8", 0, "ISO-8859-14", 14},
    {"iso-8859-15 iso8859-15 iso_8859-15 latin9 latin-9", 28605, "ISO-8859-15", 0},
    {"iso-8859-16 iso8859-16 iso_8859-16 latin10", 0, "ISO-8859-16", 16},
    {"windows-1250 cp1250", 1250, "CP1250", 0},
    {"windows-1251 cp1251", 1251, "CP1251", 0},
    {"windows-1253 cp1253", 1253, "CP1253", 0},
    {"windows-1254 cp1254", 1254, "CP1254", 0},
    {"windows-1255 cp1255", 1255, "CP1255", 0},
    {"windows-1256 cp1256", 1256, "CP1256", 0},
    {"windows-1257 cp1257", 1257, "CP1257", 0},
    {"windows-1258 cp1258", 1258, "CP1258", 0},
    {"koi8-r", 20866, "KOI8-R", 0},
    {"koi8-u", 21866, "KOI8-U", 0},
    {"gb2312 euc-cn gbk cp936 x-gbk", 936, "CP936", 0},
    {"gb18030", 54936, "GB18030", 0},
    {"big5 cp950 x-x-big5", 950, "CP950", 0},
    {"shift_jis shift-jis sjis x-sjis ms_kanji windows-31j cp932", 932, "CP932", 0},
    {"euc-jp x-euc-jp", 20932, "EUC-JP", 0},
    {"iso-2022-jp csiso2022jp", 50220, "ISO-2022-JP", 0},
    {"euc-kr ks_c_5601-1987 ks_c_5601 cp949", 949, "CP949", 0},
};

// The label in lower case, without an RFC 2231 language ("utf-8*en") and blanks around it.
std::string normalised_label(std::string_view label) {
    label = label.substr(0, label.find('*'));
    while (!label.empty() && label.front() == ' ') label.remove_prefix(1);
    while (!label.empty() && label.back() == ' ') label.remove_suffix(1);
    std::string lower(label);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

const charset_entry* find_charset(std::string_view label) {
    std::string name = normalised_label(label);
    if (name.empty()) return nullptr;
    for (const charset_entry& entry : charsets) {
        std::string_view names = entry.names;
        for (size_t at = 0; at < names.size();) {
            size_t end = names.find(' ', at);
            if (end == std::string_view::npos) end = names.size();
            if (names.substr(at, end - at) == name) return &entry;
            at = end + 1;
        }
    }
    return nullptr;
}

#ifdef _WIN32

// These code pages refuse MB_ERR_INVALID_CHARS; their invalid bytes cannot be detected.
bool takes_no_flags(unsigned code_page) {
    return (code_page >= 50220 && code_page <= 50229) || code_page == 52936 ||
           (code_page >= 57002 && code_page <= 57011) || code_page == 65000 || code_page == 42;
}

std::optional<std::u16string> code_page_to_utf16(unsigned code_page, std::string_view bytes) {
    if (bytes.empty()) return std::u16string();
    DWORD flags = takes_no_flags(code_page) ? 0 : MB_ERR_INVALID_CHARS;
    int size = static_cast<int>(bytes.size());
    int length = MultiByteToWideChar(code_page, flags, bytes.data(), size, nullptr, 0);
    if (length == 0) return std::nullopt;
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(code_page, flags, bytes.data(), size, wide.data(), length);
    return std::u16string(wide.begin(), wide.end());
}

std::u16string iso_8859_to_utf16(const char16_t* upper_half, std::string_view bytes) {
    std::u16string text;
    for (unsigned char byte : bytes) text += byte < 0xA0 ? char16_t(byte) : upper_half[byte - 0xA0];
    return text;
}

// ISO-2022-JP as EUC-JP: the same JIS X 0208 characters with the high bit set, half-width
// katakana behind 0x8E. None when a byte or an escape does not belong to ISO-2022-JP.
std::optional<std::string> iso_2022_jp_as_euc_jp(std::string_view bytes) {
    enum { roman, kanji, katakana } mode = roman;
    std::string euc;
    for (size_t at = 0; at < bytes.size(); ++at) {
        auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte == 0x1B) {
            std::string_view escape = bytes.substr(at + 1, 2);
            if (escape == "(B" || escape == "(J") {
                mode = roman;
            } else if (escape == "$B" || escape == "$@") {
                mode = kanji;
            } else if (escape == "(I") {
                mode = katakana;
            } else {
                return std::nullopt;
            }
            at += 2;
        } else if (byte >= 0x80) {
            return std::nullopt;
        } else if (mode == kanji && byte > 0x20) {
            euc += static_cast<char>(byte | 0x80);
        } else if (mode == katakana && byte > 0x20) {
            euc += '\x8E';
            euc += static_cast<char>(byte | 0x80);
        } else {
            euc += static_cast<char>(byte);
        }
    }
    return euc;
}

std::optional<std::u16string> convert(const charset_entry& entry, std::string_view bytes) {
    if (entry.iso_part != 0) return iso_8859_to_utf16(iso_8859_upper_half(entry.iso_part), bytes);
    unsigned code_page = entry.code_page;
    // Some Windows installations (and wine) lack GB18030, whose two-byte part is GBK, and
    // ISO-2022-JP, which is EUC-JP behind escapes.
    if (code_page == 54936 && !IsValidCodePage(code_page)) code_page = 936;
    if (code_page == 50220 && !IsValidCodePage(code_page)) {
        auto euc = iso_2022_jp_as_euc_jp(bytes);
        if (!euc) return std::nullopt;
        return code_page_to_utf16(20932, *euc);
    }
    return code_page_to_utf16(code_page, bytes);
}

#else

// One iconv call over what is left of the input (none: end the shift state), the output
// growing as needed; false on a byte invalid in the charset or a character cut off.
bool run_iconv(iconv_t converter, char** in, size_t* in_left, std::string& out, size_t& done) {
    for (;;) {
        char* at = out.data() + done;
        size_t out_left = out.size() - done;
        size_t result = iconv(converter, in, in_left, &at, &out_left);
        done = static_cast<size_t>(at - out.data());
        if (result != static_cast<size_t>(-1)) return true;
        if (errno != E2BIG) return false;
        out.resize(out.size() * 2);
    }
}

// Opening a converter loads the charset's module, which costs more than converting a
// header: each thread keeps the converters it opened, one per charset, for its lifetime.
iconv_t converter_for(const charset_entry& entry) {
    struct converters {
        std::map<const charset_entry*, iconv_t> open;
        ~converters() {
            for (auto& [entry, converter] : open) iconv_close(converter);
        }
    };
    thread_local converters cache;
    auto found = cache.open.find(&entry);
    if (found != cache.open.end()) {
        iconv(found->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return found->second;
    }
    iconv_t converter = iconv_open("UTF-8", entry.iconv_name);
    if (converter != reinterpret_cast<iconv_t>(-1)) cache.open.emplace(&entry, converter);
    return converter;
}

std::optional<std::string> convert(const charset_entry& entry, std::string_view bytes) {
    iconv_t converter = converter_for(entry);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t in_left = bytes.size();
    size_t done = 0;
    if (!run_iconv(converter, &in, &in_left, out, done) ||
        !run_iconv(converter, nullptr, nullptr, out, done)) {
        return std::nullopt;
    }
    out.resize(done);
    return out;
}

#endif

}  // namespace

std::optional<std::string> charset_to_utf8(std::string_view charset, std::string_view bytes) {
    const charset_entry* entry = find_charset(charset);
    if (entry == nullptr) return std::nullopt;
#ifdef _WIN32
    auto text = convert(*entry, bytes);
    if (!text) return std::nullopt;
    return utf16_to_utf8(*text);
#else
    return convert(*entry, bytes);
#endif
}

}  // namespace platform
