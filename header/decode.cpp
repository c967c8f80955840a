#include "header/decode.h"

#include <optional>

#include "header/words.h"
#include "platform/text.h"

namespace {

bool is_blank(char byte) {
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

bool only_blanks(std::string_view text) {
    for (char byte : text) {
        if (!is_blank(byte)) return false;
    }
    return true;
}

// One well-formed encoded word: "=?" charset "?" B or Q "?" text "?=", nothing blank in it.
struct encoded_word {
    std::string_view charset;
    char encoding;
    std::string_view text;
    size_t length;  // of the whole word
};

// The end of a run of bytes that are neither '?' nor blank, from `at` on.
size_t token_end(std::string_view value, size_t at) {
    while (at < value.size() && value[at] != '?' && !is_blank(value[at])) ++at;
    return at;
}

// The encoded word starting at `at`, if one does. Neither its charset nor its text may
// hold a '?' or a blank, so each look ahead stops at the next '?': finding every word of
// a value takes one pass however the value is made.
std::optional<encoded_word> word_at(std::string_view value, size_t at) {
    if (value.substr(at, 2) != "=?") return std::nullopt;
    size_t charset_end = token_end(value, at + 2);
    if (charset_end == at + 2 || value.substr(charset_end, 1) != "?") return std::nullopt;
    if (value.size() - charset_end < 3 || value[charset_end + 2] != '?') return std::nullopt;
    char encoding = value[charset_end + 1];
    if (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q') {
        return std::nullopt;
    }
    size_t text_start = charset_end + 3;
    size_t text_end = token_end(value, text_start);
    if (value.substr(text_end, 2) != "?=") return std::nullopt;
    return encoded_word{value.substr(at + 2, charset_end - at - 2), encoding,
                        value.substr(text_start, text_end - text_start), text_end + 2 - at};
}

// The octets of an encoded word, by the same B and Q rules as everywhere else.
std::string word_octets(const encoded_word& word) {
    std::string octets(word.text.size(), '\0');
    auto* out = reinterpret_cast<unsigned char*>(octets.data());
    size_t length = 0;
    const char* text = word.text.data();
    size_t size = word.text.size();
    if (word.encoding == 'B' || word.encoding == 'b') {
        hdr_base64_decode(&length, out, text, size, size);
    } else {
        hdr_qp_decode(out, &length, text, size, size);
    }
    octets.resize(length);
    return octets;
}

bool same_charset(std::string_view a, std::string_view b) {
    return platform::equal_ignoring_case(a, b);
}

// Collects the decoded text. Neighbouring words of one charset are converted together, so
// a character split across two words (mailers do it, though it is not allowed) comes out
// whole.
class text_builder {
  public:
    void add_word(const encoded_word& word) {
        if (!same_charset(word.charset, charset_)) flush();
        charset_ = word.charset;
        octets_ += word_octets(word);
    }
    void add_raw(std::string_view bytes) {
        flush();
        text_ += hdr_raw_to_utf8(bytes);
    }
    std::string finish() {
        flush();
        return std::move(text_);
    }

  private:
    void flush() {
        if (!charset_.empty()) text_ += hdr_charset_to_utf8(charset_, octets_);
        charset_ = {};
        octets_.clear();
    }
    std::string text_;
    std::string_view charset_;
    std::string octets_;
};

int hex_value(char byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    return -1;
}

// "%XX" is a byte; a '%' not followed by two hex digits stands for itself.
std::string percent_decoded(std::string_view text) {
    std::string bytes;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '%' && at + 2 < text.size() && hex_value(text[at + 1]) >= 0 &&
            hex_value(text[at + 2]) >= 0) {
            bytes += static_cast<char>(hex_value(text[at + 1]) * 16 + hex_value(text[at + 2]));
            at += 2;
        } else {
            bytes += text[at];
        }
    }
    return bytes;
}

}  // namespace

// Encoded words are found anywhere; blanks between two of them are dropped, blanks beside
// other text kept. An "=?" that does not start a well-formed word is ordinary text, and
// decoding goes on after it.
std::string hdr_decode_text(std::string_view value) {
    text_builder text;
    size_t raw_start = 0;
    bool after_word = false;
    for (size_t at = 0; at < value.size();) {
        std::optional<encoded_word> word = value[at] == '=' ? word_at(value, at) : std::nullopt;
        if (!word) {
            ++at;
            continue;
        }
        std::string_view raw = value.substr(raw_start, at - raw_start);
        if (!(after_word && only_blanks(raw)) && !raw.empty()) text.add_raw(raw);
        text.add_word(*word);
        at += word->length;
        raw_start = at;
        after_word = true;
    }
    if (raw_start < value.size()) text.add_raw(value.substr(raw_start));
    return text.finish();
}

// Without both apostrophes the value carries no charset and is read as raw text.
std::string hdr_decode_parameter(std::string_view value) {
    size_t charset_end = value.find('\'');
    size_t language_end =
        charset_end == std::string_view::npos ? charset_end : value.find('\'', charset_end + 1);
    if (language_end == std::string_view::npos) return hdr_raw_to_utf8(percent_decoded(value));
    std::string bytes = percent_decoded(value.substr(language_end + 1));
    if (charset_end == 0) return hdr_raw_to_utf8(bytes);
    return hdr_charset_to_utf8(value.substr(0, charset_end), bytes);
}

std::string hdr_charset_to_utf8(std::string_view charset, std::string_view bytes) {
    if (auto text = platform::charset_to_utf8(charset, bytes)) return std::move(*text);
    return platform::utf16_to_utf8(platform::windows_1252_to_utf16(bytes));
}

// Runs of bytes that are not UTF-8 go through the ANSI code page together, so a
// double-byte code page sees its characters whole.
std::string hdr_raw_to_utf8(std::string_view bytes) {
    std::string text;
    size_t other_start = 0;
    auto flush_other = [&](size_t end) {
        if (end > other_start) {
            text += platform::utf16_to_utf8(
                platform::ansi_to_utf16(bytes.substr(other_start, end - other_start)));
        }
    };
    for (size_t at = 0; at < bytes.size();) {
        size_t length = platform::utf8_sequence_length(bytes, at);
        if (length == 0) {
            ++at;
            continue;
        }
        flush_other(at);
        text.append(bytes, at, length);
        at += length;
        other_start = at;
    }
    flush_other(bytes.size());
    return text;
}
