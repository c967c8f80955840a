// Text of a named charset to UTF-8. Single-byte charsets and GB18030's four-byte sequences
// are read from this program's own tables; double-byte charsets go through the system's own
// converters (iconv on Linux, MultiByteToWideChar on Windows), sequence runs at a time, so
// one bad byte costs one character; UTF-8, UTF-16, UTF-7 and the escapes of ISO-2022-JP are
// read by this program's own code. Both systems know the same names, so a
// charset the table does not hold is unknown everywhere and the caller's fallback gives the
// same text.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/charset_forms.h"
#include "platform/charset_tables.h"
#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <map>
#endif

namespace platform {

namespace {

// How a charset's bytes make characters, and so what one sequence of them is.
enum class family {
    single_byte,  // one byte a character, from our table
    double_byte,  // a lead byte (0x81 to 0xFE) takes the byte after it
    shift_jis,    // the same, with lead bytes 0x81 to 0x9F and 0xE0 to 0xFC
    euc_jp,       // 0x8E and 0xA1 to 0xFE lead two bytes, 0x8F three
    gb18030,      // a lead byte takes one byte, or three when a digit follows it
    utf8,
    utf16,  // the order a byte-order mark gives, or the one the bytes show
    utf16le,
    utf16be,
    utf7,
    iso_2022_jp,
};

struct charset_entry {
    const char* names;       // the IANA name and its aliases in lower case, blank-separated
    unsigned code_page;      // Windows; 0 when Windows has none
    const char* iconv_name;  // glibc; for a single-byte charset, its table's name
    family kind;
};

// ISO-8859-1 and US-ASCII are read as Windows-1252, their common superset: mailers label
// Windows-1252 text (curly quotes, the euro sign) as ISO-8859-1 all the time. The Chinese,
// Japanese and Korean names map to the Windows supersets for the same reason.
constexpr charset_entry charsets[] = {
    {"utf-8 utf8", 65001, "UTF-8", family::utf8},
    {"us-ascii ascii iso-8859-1 iso8859-1 iso_8859-1 latin1 l1 windows-1252 cp1252", 1252, "CP1252",
     family::single_byte},
    {"iso-8859-2 iso8859-2 iso_8859-2 latin2 l2", 28592, "ISO-8859-2", family::single_byte},
    {"iso-8859-3 iso8859-3 iso_8859-3 latin3 l3", 28593, "ISO-8859-3", family::single_byte},
    {"iso-8859-4 iso8859-4 iso_8859-4 latin4 l4", 28594, "ISO-8859-4", family::single_byte},
    {"iso-8859-5 iso8859-5 iso_8859-5 cyrillic", 28595, "ISO-8859-5", family::single_byte},
    {"iso-8859-6 iso8859-6 iso_8859-6 arabic", 28596, "ISO-8859-6", family::single_byte},
    {"iso-8859-7 iso8859-7 iso_8859-7 greek", 28597, "ISO-8859-7", family::single_byte},
    {"iso-8859-8 iso8859-8 iso_8859-8 iso-8859-8-i hebrew", 28598, "ISO-8859-8",
     family::single_byte},
    {"iso-8859-9 iso8859-9 iso_8859-9 latin5 l5", 28599, "ISO-8859-9", family::single_byte},
    {"iso-8859-10 iso8859-10 iso_8859-10 latin6 l6", 0, "ISO-8859-10", family::single_byte},
    {"iso-8859-11 iso8859-11 tis-620 windows-874 cp874", 874, "CP874", family::single_byte},
    {"iso-8859-13 iso8859-13 iso_8859-13 latin7", 28603, "ISO-8859-13", family::single_byte},
    {"iso-8859-14 iso8859-14 iso_8859-14 latin8", 0, "ISO-8859-14", family::single_byte},
    {"iso-8859-15 iso8859-15 iso_8859-15 latin9 latin-9", 28605, "ISO-8859-15",
     family::single_byte},
    {"iso-8859-16 iso8859-16 iso_8859-16 latin10", 0, "ISO-8859-16", family::single_byte},
    {"windows-1250 cp1250", 1250, "CP1250", family::single_byte},
    {"windows-1251 cp1251", 1251, "CP1251", family::single_byte},
    {"windows-1253 cp1253", 1253, "CP1253", family::single_byte},
    {"windows-1254 cp1254", 1254, "CP1254", family::single_byte},
    {"windows-1255 cp1255", 1255, "CP1255", family::single_byte},
    {"windows-1256 cp1256", 1256, "CP1256", family::single_byte},
    {"windows-1257 cp1257", 1257, "CP1257", family::single_byte},
    {"windows-1258 cp1258", 1258, "CP1258", family::single_byte},
    {"koi8-r", 20866, "KOI8-R", family::single_byte},
    {"koi8-u", 21866, "KOI8-U", family::single_byte},
    {"gb2312 euc-cn gbk cp936 x-gbk", 936, "CP936", family::double_byte},
    {"gb18030", 54936, "GB18030", family::gb18030},
    {"big5 cp950 x-x-big5", 950, "CP950", family::double_byte},
    {"shift_jis shift-jis sjis x-sjis ms_kanji windows-31j cp932", 932, "CP932", family::shift_jis},
    {"euc-jp x-euc-jp", 20932, "EUC-JP", family::euc_jp},
    {"iso-2022-jp csiso2022jp iso-2022-jp-1 iso-2022-jp-2 iso-2022-jp-3 iso-2022-jp-2004 cp50220 "
     "cp50221 cp50222",
     0, "", family::iso_2022_jp},
    {"euc-kr ks_c_5601-1987 ks_c_5601 cp949", 949, "CP949", family::double_byte},
    {"utf-16 utf16 ucs-2", 0, "", family::utf16},
    {"utf-16le utf16le unicode", 0, "", family::utf16le},
    {"utf-16be utf16be unicodefffe", 0, "", family::utf16be},
    {"utf-7 utf7 unicode-1-1-utf-7 csunicode11utf7", 0, "", family::utf7},
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

std::optional<std::string> code_page_to_utf8(unsigned code_page, std::string_view bytes) {
    if (bytes.empty()) return std::string();
    int size = static_cast<int>(bytes.size());
    int length =
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length == 0) return std::nullopt;
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), length);
    return utf16_to_utf8(std::u16string(wide.begin(), wide.end()));
}

// Whole sequences of a charset the system reads: none when one of them is not valid.
std::optional<std::string> system_convert(const charset_entry& entry, std::string_view bytes) {
    return code_page_to_utf8(entry.code_page, bytes);
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

// Whole sequences of a charset the system reads: none when one of them is not valid.
std::optional<std::string> system_convert(const charset_entry& entry, std::string_view bytes) {
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

constexpr std::string_view replacement_utf8 = "\xEF\xBF\xBD";  // U+FFFD

bool in_range(unsigned char byte, unsigned low, unsigned high) {
    return byte >= low && byte <= high;
}

struct sequence {
    size_t length;   // the bytes its first byte takes with it (fewer when the text ends)
    bool malformed;  // bytes that cannot make a character, whatever a table says
};

// The sequence starting at `at`. A lead byte followed by an ASCII byte that cannot be its
// second is one byte long, so the ASCII byte is read on its own.
sequence sequence_at(const charset_entry& entry, std::string_view bytes, size_t at) {
    auto byte = [&](size_t i) {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u;
    };
    size_t left = bytes.size() - at;
    unsigned char lead = byte(at);
    switch (entry.kind) {
        case family::double_byte:
            return {std::min<size_t>(in_range(lead, 0x81, 0xFE) ? 2 : 1, left), false};
        case family::shift_jis: {
            bool two = in_range(lead, 0x81, 0x9F) || in_range(lead, 0xE0, 0xFC);
            return {std::min<size_t>(two ? 2 : 1, left), false};
        }
        case family::euc_jp: {
            // Windows' table reads a lead byte and an ASCII byte as a character of JIS X
            // 0212; EUC-JP has no such pairs.
            size_t length = lead == 0x8F ? 3 : lead == 0x8E || in_range(lead, 0xA1, 0xFE) ? 2 : 1;
            if (length == 1) return {1, false};
            bool malformed = left < length;
            for (size_t i = 1; i < length; ++i) {
                if (byte(at + i) < 0x80) return {i, true};
                malformed = malformed || !in_range(byte(at + i), 0xA1, 0xFE);
            }
            if (lead == 0x8E && !in_range(byte(at + 1), 0xA1, 0xDF)) malformed = true;
            // JIS X 0212 (behind 0x8F) is in glibc's table but not in Windows': read on
            // neither, so the builds agree.
            if (lead == 0x8F) malformed = true;
            return {std::min(length, left), malformed};
        }
        case family::gb18030:
            if (!in_range(lead, 0x81, 0xFE)) return {1, false};
            if (!in_range(byte(at + 1), 0x30, 0x39)) return {std::min<size_t>(2, left), false};
            return {std::min<size_t>(4, left), left < 4 || !in_range(byte(at + 2), 0x81, 0xFE) ||
                                                   !in_range(byte(at + 3), 0x30, 0x39)};
        default:
            return {1, false};
    }
}

// Only EUC-JP's table can read what is malformed; the other tables refuse it themselves.
bool has_malformed_sequence(const charset_entry& entry, std::string_view bytes) {
    if (entry.kind != family::euc_jp) return false;
    for (size_t at = 0; at < bytes.size();) {
        sequence next = sequence_at(entry, bytes, at);
        if (next.malformed) return true;
        at += next.length;
    }
    return false;
}

// Characters a charset's bytes never stand for, though a system's table may give them: a
// C1 control or a private-use character (0xFF of GBK, 0x80 of Big5, say). Refused alike
// on every system, so the builds read the same bytes the same way.
bool has_foreign_characters(const charset_entry& entry, std::string_view utf8) {
    for (size_t at = 0; at + 1 < utf8.size(); ++at) {
        auto first = static_cast<unsigned char>(utf8[at]);
        auto second = static_cast<unsigned char>(utf8[at + 1]);
        if (first == 0xC2 && second < 0xA0) return true;
        if (first == 0xEE || (first == 0xEF && second < 0xA4)) return true;
    }
    return false;
}

// Reads sequences one run at a time. A run the system takes whole is kept; one it refuses
// is halved until each sequence it refuses stands alone and becomes U+FFFD. A two-byte
// sequence whose second byte is ASCII gives U+FFFD for its first byte only, and the ASCII
// byte is read on its own.
class sequence_reader {
  public:
    sequence_reader(const charset_entry& entry, std::string_view bytes)
        : entry_(entry), bytes_(bytes) {
        for (size_t at = 0; at < bytes.size();) {
            sequence next = sequence_at(entry, bytes, at);
            starts_.push_back(at);
            malformed_.push_back(next.malformed);
            at += next.length;
        }
        starts_.push_back(bytes.size());
    }
    // Malformed sequences are never handed to the system; the runs between them are.
    std::string read(bool& replaced) {
        size_t run_start = 0;
        for (size_t i = 0; i < malformed_.size(); ++i) {
            if (!malformed_[i]) continue;
            read_run(run_start, i);
            replace(i);
            run_start = i + 1;
        }
        read_run(run_start, malformed_.size());
        replaced = replaced || replaced_;
        return std::move(text_);
    }

  private:
    void read_run(size_t first, size_t last) {
        if (first == last) return;
        std::string_view run = bytes_.substr(starts_[first], starts_[last] - starts_[first]);
        auto text = system_convert(entry_, run);
        if (text && !has_foreign_characters(entry_, *text)) {
            text_ += *text;
            return;
        }
        if (last - first > 1) {
            size_t middle = first + (last - first) / 2;
            read_run(first, middle);
            read_run(middle, last);
            return;
        }
        replace(first);
    }

    void replace(size_t index) {
        std::string_view bad = bytes_.substr(starts_[index], starts_[index + 1] - starts_[index]);
        replaced_ = true;
        text_ += replacement_utf8;
        if (bad.size() == 2 && static_cast<unsigned char>(bad[1]) < 0x80) text_ += bad[1];
    }

    const charset_entry& entry_;
    std::string_view bytes_;
    std::vector<size_t> starts_;
    std::vector<bool> malformed_;
    std::string text_;
    bool replaced_ = false;
};

// UTF-8 read by our own decoder: each byte outside a valid sequence is U+FFFD.
std::string utf8_replacing(std::string_view bytes, bool& replaced) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        size_t length = utf8_sequence_length(bytes, at);
        if (length == 0) {
            replaced = true;
            text += replacement_utf8;
            ++at;
        } else {
            text.append(bytes, at, length);
            at += length;
        }
    }
    return text;
}

std::string single_byte_to_utf8(const char16_t* upper_half, std::string_view bytes,
                                bool& replaced) {
    std::u16string text;
    text.reserve(bytes.size());
    for (unsigned char byte : bytes) {
        char16_t code = byte < 0x80 ? char16_t(byte) : upper_half[byte - 0x80];
        replaced = replaced || code == 0xFFFD;
        text += code;
    }
    return utf16_to_utf8(text);
}

std::string convert(const charset_entry& entry, std::string_view bytes, bool& replaced);

// GB18030 as GBK (which every system has, with the same table) and its own four-byte
// sequences, read from our table, since not every Windows has the code page.
std::string gb18030_to_utf8(std::string_view bytes, bool& replaced) {
    const charset_entry& gbk = *find_charset("gbk");
    const charset_entry& gb18030 = *find_charset("gb18030");
    std::string text;
    size_t run_start = 0;
    for (size_t at = 0; at < bytes.size();) {
        sequence next = sequence_at(gb18030, bytes, at);
        if (next.length < 4 && !next.malformed) {
            at += next.length;
            continue;
        }
        text += convert(gbk, bytes.substr(run_start, at - run_start), replaced);
        auto b = [&](size_t i) {
            return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i]));
        };
        char32_t code = 0xFFFD;
        if (!next.malformed) {
            uint32_t pointer =
                (b(0) - 0x81) * 12600 + (b(1) - 0x30) * 1260 + (b(2) - 0x81) * 10 + (b(3) - 0x30);
            code = gb18030_four_byte_character(pointer);
        }
        if (code >= 0xE000 && code < 0xF900) code = 0xFFFD;  // private use, as for GBK
        replaced = replaced || code == 0xFFFD;
        append_utf8(text, code);
        at += next.length;
        run_start = at;
    }
    return text + convert(gbk, bytes.substr(run_start), replaced);
}

std::string convert(const charset_entry& entry, std::string_view bytes, bool& replaced) {
    switch (entry.kind) {
        case family::single_byte:
            // Windows-1252 is read as the ANSI code page is, its five undefined bytes as the
            // C1 controls of the same value, the way Windows and mailers read them.
            if (std::string_view(entry.iconv_name) == "CP1252")
                return utf16_to_utf8(windows_1252_to_utf16(bytes));
            return single_byte_to_utf8(single_byte_upper_half(entry.iconv_name), bytes, replaced);
        case family::utf8:
            return utf8_replacing(bytes, replaced);
        case family::utf16:
            return utf16_form_to_utf8(bytes, utf16_order::as_shown);
        case family::utf16be:
            return utf16_form_to_utf8(bytes, utf16_order::big_endian);
        case family::utf16le:
            return utf16_form_to_utf8(bytes, utf16_order::little_endian);
        case family::utf7:
            return utf7_to_utf8(bytes);
        case family::gb18030:
            return gb18030_to_utf8(bytes, replaced);
        case family::iso_2022_jp:
            return iso_2022_jp_to_utf8(bytes, [&](std::string_view charset, std::string_view run) {
                return convert(*find_charset(charset), run, replaced);
            });
        default:
            break;
    }
    // Most text is valid: the system reads it in one call.
    if (!has_malformed_sequence(entry, bytes)) {
        auto text = system_convert(entry, bytes);
        if (text && !has_foreign_characters(entry, *text)) return std::move(*text);
    }
    return sequence_reader(entry, bytes).read(replaced);
}

}  // namespace

std::optional<std::string> charset_to_utf8(std::string_view charset, std::string_view bytes,
                                           invalid_bytes invalid) {
    const charset_entry* entry = find_charset(charset);
    if (entry == nullptr) return std::nullopt;
    bool replaced = false;
    std::string text = convert(*entry, bytes, replaced);
    if (replaced && invalid == invalid_bytes::refused) return std::nullopt;
    return text;
}

unsigned charset_code_page(std::string_view charset) {
    const charset_entry* entry = find_charset(charset);
    return entry ? entry->code_page : 0;
}

}  // namespace platform
