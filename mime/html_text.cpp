#include "mime/html_text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

#include "header/chars.h"
#include "platform/text.h"

namespace mime {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string lower_name(std::string_view tag) {
    size_t start = tag.substr(0, 1) == "/" ? 1 : 0;
    std::string name;
    for (size_t at = start;
         at < tag.size() && !is_space(tag[at]) && tag[at] != '/' && tag[at] != '>'; ++at) {
        char c = tag[at];
        name += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return name;
}

bool breaks_line(const std::string& name) {
    static const char* const names[] = {"br", "p",  "div", "li",    "h1",         "h2", "h3",
                                        "h4", "h5", "h6",  "table", "blockquote", "hr", "pre"};
    for (const char* n : names) {
        if (name == n) return true;
    }
    return false;
}

// The named references of HTML 4 (and &apos;), sorted by name for a binary search.
struct named_reference {
    std::string_view name;
    char32_t code;
};
constexpr named_reference named_references[] = {
    {"AElig", 0xC6},     {"Aacute", 0xC1},   {"Acirc", 0xC2},     {"Agrave", 0xC0},
    {"Alpha", 0x391},    {"Aring", 0xC5},    {"Atilde", 0xC3},    {"Auml", 0xC4},
    {"Beta", 0x392},     {"Ccedil", 0xC7},   {"Chi", 0x3A7},      {"Dagger", 0x2021},
    {"Delta", 0x394},    {"ETH", 0xD0},      {"Eacute", 0xC9},    {"Ecirc", 0xCA},
    {"Egrave", 0xC8},    {"Epsilon", 0x395}, {"Eta", 0x397},      {"Euml", 0xCB},
    {"Gamma", 0x393},    {"Iacute", 0xCD},   {"Icirc", 0xCE},     {"Igrave", 0xCC},
    {"Iota", 0x399},     {"Iuml", 0xCF},     {"Kappa", 0x39A},    {"Lambda", 0x39B},
    {"Mu", 0x39C},       {"Ntilde", 0xD1},   {"Nu", 0x39D},       {"OElig", 0x152},
    {"Oacute", 0xD3},    {"Ocirc", 0xD4},    {"Ograve", 0xD2},    {"Omega", 0x3A9},
    {"Omicron", 0x39F},  {"Oslash", 0xD8},   {"Otilde", 0xD5},    {"Ouml", 0xD6},
    {"Phi", 0x3A6},      {"Pi", 0x3A0},      {"Prime", 0x2033},   {"Psi", 0x3A8},
    {"Rho", 0x3A1},      {"Scaron", 0x160},  {"Sigma", 0x3A3},    {"THORN", 0xDE},
    {"Tau", 0x3A4},      {"Theta", 0x398},   {"Uacute", 0xDA},    {"Ucirc", 0xDB},
    {"Ugrave", 0xD9},    {"Upsilon", 0x3A5}, {"Uuml", 0xDC},      {"Xi", 0x39E},
    {"Yacute", 0xDD},    {"Yuml", 0x178},    {"Zeta", 0x396},     {"aacute", 0xE1},
    {"acirc", 0xE2},     {"acute", 0xB4},    {"aelig", 0xE6},     {"agrave", 0xE0},
    {"alefsym", 0x2135}, {"alpha", 0x3B1},   {"amp", 0x26},       {"and", 0x2227},
    {"ang", 0x2220},     {"apos", 0x27},     {"aring", 0xE5},     {"asymp", 0x2248},
    {"atilde", 0xE3},    {"auml", 0xE4},     {"bdquo", 0x201E},   {"beta", 0x3B2},
    {"brvbar", 0xA6},    {"bull", 0x2022},   {"cap", 0x2229},     {"ccedil", 0xE7},
    {"cedil", 0xB8},     {"cent", 0xA2},     {"chi", 0x3C7},      {"circ", 0x2C6},
    {"clubs", 0x2663},   {"cong", 0x2245},   {"copy", 0xA9},      {"crarr", 0x21B5},
    {"cup", 0x222A},     {"curren", 0xA4},   {"dArr", 0x21D3},    {"dagger", 0x2020},
    {"darr", 0x2193},    {"deg", 0xB0},      {"delta", 0x3B4},    {"diams", 0x2666},
    {"divide", 0xF7},    {"eacute", 0xE9},   {"ecirc", 0xEA},     {"egrave", 0xE8},
    {"empty", 0x2205},   {"emsp", 0x2003},   {"ensp", 0x2002},    {"epsilon", 0x3B5},
    {"equiv", 0x2261},   {"eta", 0x3B7},     {"eth", 0xF0},       {"euml", 0xEB},
    {"euro", 0x20AC},    {"exist", 0x2203},  {"fnof", 0x192},     {"forall", 0x2200},
    {"frac12", 0xBD},    {"frac14", 0xBC},   {"frac34", 0xBE},    {"frasl", 0x2044},
    {"gamma", 0x3B3},    {"ge", 0x2265},     {"gt", 0x3E},        {"hArr", 0x21D4},
    {"harr", 0x2194},    {"hearts", 0x2665}, {"hellip", 0x2026},  {"iacute", 0xED},
    {"icirc", 0xEE},     {"iexcl", 0xA1},    {"igrave", 0xEC},    {"image", 0x2111},
    {"infin", 0x221E},   {"int", 0x222B},    {"iota", 0x3B9},     {"iquest", 0xBF},
    {"isin", 0x2208},    {"iuml", 0xEF},     {"kappa", 0x3BA},    {"lArr", 0x21D0},
    {"lambda", 0x3BB},   {"lang", 0x2329},   {"laquo", 0xAB},     {"larr", 0x2190},
    {"lceil", 0x2308},   {"ldquo", 0x201C},  {"le", 0x2264},      {"lfloor", 0x230A},
    {"lowast", 0x2217},  {"loz", 0x25CA},    {"lrm", 0x200E},     {"lsaquo", 0x2039},
    {"lsquo", 0x2018},   {"lt", 0x3C},       {"macr", 0xAF},      {"mdash", 0x2014},
    {"micro", 0xB5},     {"middot", 0xB7},   {"minus", 0x2212},   {"mu", 0x3BC},
    {"nabla", 0x2207},   {"nbsp", 0xA0},     {"ndash", 0x2013},   {"ne", 0x2260},
    {"ni", 0x220B},      {"not", 0xAC},      {"notin", 0x2209},   {"nsub", 0x2284},
    {"ntilde", 0xF1},    {"nu", 0x3BD},      {"oacute", 0xF3},    {"ocirc", 0xF4},
    {"oelig", 0x153},    {"ograve", 0xF2},   {"oline", 0x203E},   {"omega", 0x3C9},
    {"omicron", 0x3BF},  {"oplus", 0x2295},  {"or", 0x2228},      {"ordf", 0xAA},
    {"ordm", 0xBA},      {"oslash", 0xF8},   {"otilde", 0xF5},    {"otimes", 0x2297},
    {"ouml", 0xF6},      {"para", 0xB6},     {"part", 0x2202},    {"permil", 0x2030},
    {"perp", 0x22A5},    {"phi", 0x3C6},     {"pi", 0x3C0},       {"piv", 0x3D6},
    {"plusmn", 0xB1},    {"pound", 0xA3},    {"prime", 0x2032},   {"prod", 0x220F},
    {"prop", 0x221D},    {"psi", 0x3C8},     {"quot", 0x22},      {"rArr", 0x21D2},
    {"radic", 0x221A},   {"rang", 0x232A},   {"raquo", 0xBB},     {"rarr", 0x2192},
    {"rceil", 0x2309},   {"rdquo", 0x201D},  {"real", 0x211C},    {"reg", 0xAE},
    {"rfloor", 0x230B},  {"rho", 0x3C1},     {"rlm", 0x200F},     {"rsaquo", 0x203A},
    {"rsquo", 0x2019},   {"sbquo", 0x201A},  {"scaron", 0x161},   {"sdot", 0x22C5},
    {"sect", 0xA7},      {"shy", 0xAD},      {"sigma", 0x3C3},    {"sigmaf", 0x3C2},
    {"sim", 0x223C},     {"spades", 0x2660}, {"sub", 0x2282},     {"sube", 0x2286},
    {"sum", 0x2211},     {"sup", 0x2283},    {"sup1", 0xB9},      {"sup2", 0xB2},
    {"sup3", 0xB3},      {"supe", 0x2287},   {"szlig", 0xDF},     {"tau", 0x3C4},
    {"there4", 0x2234},  {"theta", 0x3B8},   {"thetasym", 0x3D1}, {"thinsp", 0x2009},
    {"thorn", 0xFE},     {"tilde", 0x2DC},   {"times", 0xD7},     {"trade", 0x2122},
    {"uArr", 0x21D1},    {"uacute", 0xFA},   {"uarr", 0x2191},    {"ucirc", 0xFB},
    {"ugrave", 0xF9},    {"uml", 0xA8},      {"upsih", 0x3D2},    {"upsilon", 0x3C5},
    {"uuml", 0xFC},      {"weierp", 0x2118}, {"xi", 0x3BE},       {"yacute", 0xFD},
    {"yen", 0xA5},       {"yuml", 0xFF},     {"zeta", 0x3B6},     {"zwj", 0x200D},
    {"zwnj", 0x200C},
};

// A numeric reference's character, as browsers read it: NUL becomes U+FFFD, and 128 to 159
// are the Windows-1252 characters of those bytes (what the writer's code page meant).
void append_numeric(std::string& out, uint32_t code) {
    if (code >= 0x80 && code <= 0x9F) {
        std::string byte(1, static_cast<char>(code));
        platform::append_utf8(out, platform::windows_1252_to_utf16(byte)[0]);
        return;
    }
    platform::append_utf8(out, code == 0 ? 0xFFFD : code);
}

// The reference at `at` (just after '&') appended; returns its length with the ';', 0 when
// it is not one this reader knows.
size_t read_entity(std::string_view html, size_t at, std::string& out) {
    // The longest name has 8 letters; a number may have leading zeros. The ';' is looked for
    // no further, so a text of many '&' costs no more than its length.
    size_t end = html.substr(at, 33).find(';');
    if (end == std::string_view::npos || end == 0) return 0;
    end += at;
    std::string_view name = html.substr(at, end - at);
    if (name[0] == '#') {
        bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        uint32_t code = 0;
        for (char c : digits) {
            int digit = hex ? hdr_hex_digit(c) : c >= '0' && c <= '9' ? c - '0' : -1;
            if (digit < 0) return 0;
            code = std::min<uint32_t>(code * (hex ? 16 : 10) + static_cast<uint32_t>(digit),
                                      0x110000);  // past the last code point: U+FFFD
        }
        append_numeric(out, code);
        return end - at + 1;
    }
    auto found = std::lower_bound(
        std::begin(named_references), std::end(named_references), name,
        [](const named_reference& entry, std::string_view key) { return entry.name < key; });
    if (found == std::end(named_references) || found->name != name) return 0;
    platform::append_utf8(out, found->code);
    return end - at + 1;
}

// The text with its character references decoded, the rest as written.
std::string decode_references(std::string_view text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t length = text[at] == '&' ? read_entity(text, at + 1, out) : 0;
        if (length > 0) {
            at += length + 1;
        } else {
            out += text[at++];
        }
    }
    return out;
}

// The value of the attribute `wanted` (lower case) of a tag (without its '<' and '>'),
// references decoded and the white space around it dropped; empty when it has none.
std::string attribute(std::string_view tag, std::string_view wanted) {
    size_t at = 0;
    while (at < tag.size() && !is_space(tag[at])) ++at;  // the tag's name
    while (at < tag.size()) {
        while (at < tag.size() && (is_space(tag[at]) || tag[at] == '/')) ++at;
        size_t name_start = at;
        while (at < tag.size() && !is_space(tag[at]) && tag[at] != '=' && tag[at] != '/') ++at;
        std::string name = lower_name(tag.substr(name_start, at - name_start));
        while (at < tag.size() && is_space(tag[at])) ++at;
        std::string_view value;
        if (at < tag.size() && tag[at] == '=') {
            ++at;
            while (at < tag.size() && is_space(tag[at])) ++at;
            if (at < tag.size() && (tag[at] == '"' || tag[at] == '\'')) {
                size_t close = tag.find(tag[at], at + 1);
                if (close == std::string_view::npos) close = tag.size();
                value = tag.substr(at + 1, close - at - 1);
                at = close + 1;
            } else {
                size_t value_start = at;
                while (at < tag.size() && !is_space(tag[at])) ++at;
                value = tag.substr(value_start, at - value_start);
            }
        }
        if (name == wanted) {
            std::string decoded = decode_references(value);
            size_t first = 0, last = decoded.size();
            while (first < last && is_space(decoded[first])) ++first;
            while (last > first && is_space(decoded[last - 1])) --last;
            return decoded.substr(first, last - first);
        }
        if (name.empty() && at < tag.size()) ++at;  // a stray character: past it
    }
    return "";
}

bool starts_ignoring_case(std::string_view text, std::string_view start) {
    return text.size() >= start.size() &&
           platform::equal_ignoring_case(text.substr(0, start.size()), start);
}

class text_builder {
  public:
    // Room for about as much text as the HTML holds is taken once.
    explicit text_builder(size_t html_size) { text_.reserve(html_size); }
    void character(char c) {
        if (is_space(c)) {
            pending_ = !text_.empty() && !at_line_start() && text_.back() != '\t';
            return;
        }
        flush_space();
        text_ += c;
    }
    void text(const std::string& s) {
        for (char c : s) character(c);
    }
    void line_break() {
        pending_ = false;
        cells_ = 0;
        if (!text_.empty()) text_ += "\r\n";
    }
    // A table row starts or ends: on a line of its own, without a blank line between rows.
    void row_break() {
        if (!at_line_start()) line_break();
        cells_ = 0;
    }
    // A table cell starts: a tab parts it from the cell before it in its row, empty or not.
    void cell() {
        pending_ = false;
        if (cells_++ > 0) text_ += '\t';
    }
    // Text set beside the line's last word, one blank between them.
    void beside(const std::string& s) {
        if (!text_.empty() && !at_line_start()) pending_ = true;
        flush_space();
        text_ += s;
    }
    size_t size() const { return text_.size(); }
    // The text written from `start` on, without the blank before it.
    std::string_view since(size_t start) const {
        std::string_view written = std::string_view(text_).substr(std::min(start, text_.size()));
        if (!written.empty() && (written[0] == ' ' || written[0] == '\t')) written.remove_prefix(1);
        return written;
    }
    std::string finish() {
        while (text_.size() >= 2 && text_.compare(text_.size() - 2, 2, "\r\n") == 0) {
            text_.resize(text_.size() - 2);
        }
        return std::move(text_);
    }

  private:
    bool at_line_start() const { return text_.size() >= 1 && text_.back() == '\n'; }
    void flush_space() {
        if (pending_) text_ += ' ';
        pending_ = false;
    }
    std::string text_;
    bool pending_ = false;  // a blank before the next character
    int cells_ = 0;         // the table cells begun on the line
};

// A link being read: its target, shown after its text when the text does not already say it.
class open_link {
  public:
    void start(text_builder& text, std::string target) {
        end(text);
        target_ = std::move(target);
        text_start_ = text.size();
    }
    void end(text_builder& text) {
        if (target_.empty()) return;
        std::string target = std::exchange(target_, std::string());
        if (target[0] == '#' || starts_ignoring_case(target, "javascript:")) return;
        std::string_view said = text.since(text_start_);
        std::string_view bare = target;
        if (starts_ignoring_case(bare, "mailto:")) bare.remove_prefix(7);
        if (platform::equal_ignoring_case(said, target) ||
            platform::equal_ignoring_case(said, bare)) {
            return;
        }
        text.beside("<" + target + ">");
    }

  private:
    std::string target_;
    size_t text_start_ = 0;
};

// Where the element whose contents are skipped ends: after its closing tag, or the end.
size_t skip_contents(std::string_view html, size_t at, const std::string& name) {
    std::string close = "</" + name;
    for (size_t found = at; found < html.size(); ++found) {
        found = html.find("</", found);
        if (found == std::string_view::npos) return html.size();
        if (lower_name(html.substr(found + 1, name.size() + 2)) == name) {
            size_t end = html.find('>', found);
            return end == std::string_view::npos ? html.size() : end + 1;
        }
    }
    return html.size();
}

}  // namespace

std::string html_to_text(std::string_view html) {
    text_builder text(html.size());
    open_link link;
    for (size_t at = 0; at < html.size();) {
        char c = html[at];
        if (html.substr(at, 4) == "<!--") {
            size_t end = html.find("-->", at + 4);
            at = end == std::string_view::npos ? html.size() : end + 3;
        } else if (c == '<') {
            size_t end = html.find('>', at);
            if (end == std::string_view::npos) break;
            std::string_view tag = html.substr(at + 1, end - at - 1);
            std::string name = lower_name(tag);
            bool closing = tag.substr(0, 1) == "/";
            at = end + 1;
            if (!closing && (name == "head" || name == "script" || name == "style")) {
                at = skip_contents(html, at, name);
            } else if (name == "tr") {
                text.row_break();
            } else if (breaks_line(name)) {
                text.line_break();
            } else if (!closing && (name == "td" || name == "th")) {
                text.cell();
            } else if (name == "a") {
                if (closing) {
                    link.end(text);
                } else {
                    link.start(text, attribute(tag, "href"));
                }
            }
        } else if (c == '&') {
            std::string entity;
            size_t length = read_entity(html, at + 1, entity);
            if (length > 0) {
                text.text(entity);
                at += length + 1;
            } else {
                text.character(c);
                ++at;
            }
        } else {
            text.character(c);
            ++at;
        }
    }
    link.end(text);
    return text.finish();
}

}  // namespace mime
