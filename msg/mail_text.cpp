#include "msg/mail_text.h"

#include <algorithm>

#include "platform/text.h"

namespace msg {

namespace {

bool is_space(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

char16_t lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c + 0x20 : c;
}

bool same_ignoring_case(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::u16string_view trim(std::u16string_view s) {
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

// Runs of white space become one blank; the ends are trimmed.
std::u16string collapse_spaces(std::u16string_view s) {
    std::u16string out;
    for (char16_t c : trim(s)) {
        if (is_space(c)) {
            if (out.empty() || out.back() != u' ') out += u' ';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::u16string_view header_block(std::u16string_view text) {
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != u'\n') continue;
        size_t next = at + 1;
        if (next < text.size() && text[next] == u'\r') ++next;
        if (next < text.size() && text[next] == u'\n') return text.substr(0, at + 1);
    }
    // A text that starts with an empty line has no header.
    if (text.starts_with(u"\r\n") || text.starts_with(u"\n")) return {};
    return text;
}

std::optional<std::u16string> header_field(std::u16string_view block, std::u16string_view name) {
    size_t line = 0;
    while (line < block.size()) {
        size_t end = block.find(u'\n', line);
        if (end == std::u16string_view::npos) end = block.size();
        std::u16string_view text = block.substr(line, end - line);
        size_t colon = text.find(u':');
        if (colon != std::u16string_view::npos && !text.empty() && !is_space(text[0]) &&
            same_ignoring_case(trim(text.substr(0, colon)), name)) {
            // The value runs on over the continuation lines that follow.
            size_t stop = end;
            while (stop + 1 < block.size() &&
                   (block[stop + 1] == u' ' || block[stop + 1] == u'\t')) {
                size_t more = block.find(u'\n', stop + 1);
                stop = more == std::u16string_view::npos ? block.size() : more;
            }
            std::u16string value;
            for (char16_t c : block.substr(line + colon + 1, stop - line - colon - 1)) {
                if (c != u'\r' && c != u'\n') value += c;
            }
            return std::u16string(trim(value));
        }
        line = end + 1;
    }
    return std::nullopt;
}

// ---- Dates ----

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Splits a date into words and numbers; ':' and ',' separate like blanks, but a time's
// colons are kept together with its numbers.
std::vector<std::u16string> date_tokens(std::u16string_view value) {
    std::vector<std::u16string> tokens;
    std::u16string current;
    int comment = 0;
    for (char16_t c : value) {
        if (c == u'(') ++comment;
        if (comment) {
            if (c == u')') --comment;
            continue;
        }
        if (is_space(c) || c == u',') {
            if (!current.empty()) tokens.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) tokens.push_back(current);
    return tokens;
}

std::optional<int> number(std::u16string_view s, size_t max_digits) {
    if (s.empty() || s.size() > max_digits) return std::nullopt;
    int n = 0;
    for (char16_t c : s) {
        if (c < u'0' || c > u'9') return std::nullopt;
        n = n * 10 + (c - u'0');
    }
    return n;
}

std::optional<int> month_number(std::u16string_view s) {
    static const char16_t* names[] = {u"jan", u"feb", u"mar", u"apr", u"may", u"jun",
                                      u"jul", u"aug", u"sep", u"oct", u"nov", u"dec"};
    if (s.size() < 3) return std::nullopt;
    for (int i = 0; i < 12; ++i) {
        if (same_ignoring_case(s.substr(0, 3), names[i])) return i + 1;
    }
    return std::nullopt;
}

// The zone's offset east of UTC in minutes; unknown zones count as UTC.
int zone_minutes(std::u16string_view s) {
    if (s.size() == 5 && (s[0] == u'+' || s[0] == u'-')) {
        auto hhmm = number(s.substr(1), 4);
        if (!hhmm) return 0;
        int minutes = *hhmm / 100 * 60 + *hhmm % 100;
        return s[0] == u'-' ? -minutes : minutes;
    }
    static const struct {
        const char16_t* name;
        int hours;
    } zones[] = {{u"EST", -5}, {u"EDT", -4}, {u"CST", -6}, {u"CDT", -5},
                 {u"MST", -7}, {u"MDT", -6}, {u"PST", -8}, {u"PDT", -7}};
    for (auto& zone : zones) {
        if (same_ignoring_case(s, zone.name)) return zone.hours * 60;
    }
    return 0;
}

bool parse_time(std::u16string_view s, int& h, int& m, int& sec) {
    size_t first = s.find(u':');
    if (first == std::u16string_view::npos) return false;
    size_t second = s.find(u':', first + 1);
    auto hh = number(s.substr(0, first), 2);
    auto mm = number(
        s.substr(first + 1, second == std::u16string_view::npos ? s.npos : second - first - 1), 2);
    auto ss = second == std::u16string_view::npos ? std::optional<int>(0)
                                                  : number(s.substr(second + 1), 2);
    if (!hh || !mm || !ss || *hh > 23 || *mm > 59 || *ss > 60) return false;
    h = *hh, m = *mm, sec = *ss;
    return true;
}

}  // namespace

std::optional<int64_t> parse_date(std::u16string_view value) {
    auto tokens = date_tokens(value);
    size_t i = 0;
    // A leading day name ("Tue") is skipped.
    if (i < tokens.size() && !number(tokens[i], 2)) ++i;
    if (i + 3 >= tokens.size()) return std::nullopt;
    auto day = number(tokens[i], 2);
    auto month = month_number(tokens[i + 1]);
    auto year = number(tokens[i + 2], 4);
    int h = 0, m = 0, s = 0;
    if (!day || !month || !year || *day < 1 || *day > 31) return std::nullopt;
    if (!parse_time(tokens[i + 3], h, m, s)) return std::nullopt;
    int y = *year;
    if (tokens[i + 2].size() == 2)
        y += y < 50 ? 2000 : 1900;
    else if (tokens[i + 2].size() == 3)
        y += 1900;
    int zone = i + 4 < tokens.size() ? zone_minutes(tokens[i + 4]) : 0;
    int64_t days = days_from_civil(y, static_cast<unsigned>(*month), static_cast<unsigned>(*day));
    return days * 86400 + h * 3600 + m * 60 + s - zone * 60;
}

// ---- Encoded words ----

namespace {

constexpr char16_t windows_1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int hex_value(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

int base64_value(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c - u'A';
    if (c >= u'a' && c <= u'z') return c - u'a' + 26;
    if (c >= u'0' && c <= u'9') return c - u'0' + 52;
    if (c == u'+') return 62;
    if (c == u'/') return 63;
    return -1;
}

std::optional<std::string> decode_q(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'_') {
            out += ' ';
        } else if (c == u'=') {
            if (i + 2 >= text.size()) return std::nullopt;
            int hi = hex_value(text[i + 1]), lo = hex_value(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> decode_b(std::u16string_view text) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char16_t c : text) {
        if (c == u'=') break;
        int v = base64_value(c);
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::optional<std::u16string> to_utf16(std::u16string_view charset, const std::string& bytes) {
    std::u16string name(charset.substr(0, charset.find(u'*')));  // RFC 2231 language part
    if (same_ignoring_case(name, u"utf-8")) return platform::utf8_to_utf16(bytes);
    bool latin1 = same_ignoring_case(name, u"iso-8859-1") ||
                  same_ignoring_case(name, u"us-ascii") || same_ignoring_case(name, u"latin1");
    bool cp1252 = same_ignoring_case(name, u"windows-1252") || same_ignoring_case(name, u"cp1252");
    if (!latin1 && !cp1252) return std::nullopt;
    std::u16string out;
    for (unsigned char b : bytes) {
        if (b == 0) break;
        out += cp1252 && b >= 0x80 && b < 0xA0 ? windows_1252_high[b - 0x80] : char16_t(b);
    }
    return out;
}

// Decodes the encoded word at `at`; sets `length` to the characters it covers.
std::optional<std::u16string> decode_word(std::u16string_view text, size_t at, size_t& length) {
    if (text.substr(at, 2) != u"=?") return std::nullopt;
    size_t q1 = text.find(u'?', at + 2);
    if (q1 == text.npos || q1 + 2 >= text.size() || text[q1 + 2] != u'?') return std::nullopt;
    size_t end = text.find(u"?=", q1 + 3);
    if (end == text.npos) return std::nullopt;
    auto payload = text.substr(q1 + 3, end - q1 - 3);
    for (char16_t c : payload) {
        if (is_space(c)) return std::nullopt;
    }
    char16_t encoding = lower(text[q1 + 1]);
    auto bytes = encoding == u'q'   ? decode_q(payload)
                 : encoding == u'b' ? decode_b(payload)
                                    : std::nullopt;
    if (!bytes) return std::nullopt;
    auto decoded = to_utf16(text.substr(at + 2, q1 - at - 2), *bytes);
    if (decoded) length = end + 2 - at;
    return decoded;
}

}  // namespace

std::u16string decode_words(std::u16string_view text) {
    std::u16string out;
    size_t pending_space = 0;  // blanks after a decoded word, dropped when another follows
    bool after_word = false;
    for (size_t at = 0; at < text.size();) {
        size_t length = 0;
        if (auto word = decode_word(text, at, length)) {
            if (!after_word) out.append(text.substr(at - pending_space, pending_space));
            out += *word;
            at += length;
            after_word = true;
            pending_space = 0;
            continue;
        }
        if (after_word && is_space(text[at])) {
            size_t run = 0;
            while (at + run < text.size() && is_space(text[at + run])) ++run;
            size_t next_length = 0;
            if (at + run < text.size() && decode_word(text, at + run, next_length)) {
                at += run;  // only blanks between two encoded words: dropped
                continue;
            }
            out.append(text.substr(at, run));
            at += run;
            after_word = false;
            continue;
        }
        out += text[at++];
        after_word = false;
    }
    return out;
}

// ---- Address lists ----

namespace {

class address_parser {
  public:
    explicit address_parser(std::u16string_view value) : value_(value) {}

    std::vector<mailbox> run() {
        for (at_ = 0; at_ < value_.size();) step();
        finish_mailbox();
        return std::move(result_);
    }

  private:
    void step() {
        char16_t c = value_[at_];
        if (c == u'"') return quoted();
        if (c == u'(') return comment();
        if (c == u'<') return angle();
        ++at_;
        if (c == u',') return finish_mailbox();
        if (c == u';' && in_group_) {
            finish_mailbox();
            in_group_ = false;
            return;
        }
        if (c == u':' && !in_group_ && !has_angle_) {
            // A group's name is not an address: what came before is dropped.
            phrase_.clear();
            comment_.clear();
            in_group_ = true;
            return;
        }
        phrase_ += c;
    }

    void quoted() {
        ++at_;
        while (at_ < value_.size() && value_[at_] != u'"') {
            if (value_[at_] == u'\\' && at_ + 1 < value_.size()) ++at_;
            phrase_ += value_[at_++];
        }
        ++at_;
        was_quoted_ = true;
    }

    void comment() {
        int depth = 0;
        std::u16string text;
        do {
            char16_t c = value_[at_];
            if (c == u'\\' && at_ + 1 < value_.size()) {
                text += value_[++at_];
            } else {
                if (c == u'(') ++depth;
                if (c == u')') --depth;
                if (depth > 1 || (depth == 1 && c != u'(')) text += c;
            }
            ++at_;
        } while (at_ < value_.size() && depth > 0);
        if (!comment_.empty()) comment_ += u' ';
        comment_ += text;
    }

    void angle() {
        size_t end = value_.find(u'>', at_);
        if (end == value_.npos) end = value_.size();
        std::u16string_view inside = value_.substr(at_ + 1, end - at_ - 1);
        // A source route ("@a,@b:user@host") leads to the address after its colon.
        if (size_t colon = inside.rfind(u':'); colon != inside.npos)
            inside.remove_prefix(colon + 1);
        angle_ = collapse_spaces(inside);
        has_angle_ = true;
        at_ = end + 1;
    }

    void finish_mailbox() {
        mailbox box;
        if (has_angle_) {
            box.name = decode_words(collapse_spaces(phrase_));
            box.address = angle_;
        } else {
            std::u16string text = collapse_spaces(phrase_);
            if (text.find(u'@') != text.npos && !was_quoted_) {
                // A bare address; an old-style comment after it is the name.
                text.erase(std::remove(text.begin(), text.end(), u' '), text.end());
                box.address = text;
                box.name = decode_words(collapse_spaces(comment_));
            } else {
                box.name = decode_words(text);
            }
        }
        if (!box.name.empty() || !box.address.empty()) result_.push_back(std::move(box));
        phrase_.clear();
        comment_.clear();
        angle_.clear();
        has_angle_ = false;
        was_quoted_ = false;
    }

    std::u16string_view value_;
    size_t at_ = 0;
    std::u16string phrase_, comment_, angle_;
    bool has_angle_ = false, was_quoted_ = false, in_group_ = false;
    std::vector<mailbox> result_;
};

}  // namespace

std::vector<mailbox> parse_address_list(std::u16string_view value) {
    return address_parser(value).run();
}

}  // namespace msg
