#include "header/decode.h"

#include "header/chars.h"
#include "header/words.h"
#include "platform/text.h"

namespace {

// Converts the pieces of a value into UTF-8 as they come. Neighbouring words of one
// charset are converted together, so a character split across two words (mailers do it,
// though it is not allowed) comes out whole; neighbouring raw pieces are joined too, so a
// double-byte code page sees its characters whole.
class text_pieces : public hdr_word_pieces {
  public:
    explicit text_pieces(const hdr_reading& reading) : reading_(reading) {}
    void raw(std::string_view bytes) override {
        if (kind_ != kind::raw) flush();
        kind_ = kind::raw;
        pending_ += bytes;
    }
    void word(std::string_view charset, std::string_view octets) override {
        if (kind_ != kind::word || !platform::equal_ignoring_case(charset, charset_)) flush();
        kind_ = kind::word;
        charset_ = charset;
        pending_ += octets;
    }
    std::string finish() {
        flush();
        return std::move(text_);
    }

  private:
    enum class kind { none, raw, word };
    void flush() {
        if (kind_ == kind::raw) text_ += hdr_raw_to_utf8(pending_, reading_);
        if (kind_ == kind::word) text_ += hdr_charset_to_utf8(charset_, pending_, reading_);
        kind_ = kind::none;
        pending_.clear();
    }
    const hdr_reading& reading_;
    std::string text_;
    kind kind_ = kind::none;
    std::string_view charset_;
    std::string pending_;
};

// "%XX" is a byte; a '%' not followed by two hex digits stands for itself.
std::string percent_decoded(std::string_view text) {
    std::string bytes;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '%' && at + 2 < text.size() && hdr_hex_digit(text[at + 1]) >= 0 &&
            hdr_hex_digit(text[at + 2]) >= 0) {
            bytes +=
                static_cast<char>(hdr_hex_digit(text[at + 1]) * 16 + hdr_hex_digit(text[at + 2]));
            at += 2;
        } else {
            bytes += text[at];
        }
    }
    return bytes;
}

}  // namespace

// The pieces of the encoded-word scan, each converted into UTF-8: raw bytes as raw header
// text, a word's octets from its charset.
std::string hdr_decode_text(std::string_view value, const hdr_reading& reading) {
    text_pieces text(reading);
    hdr_scan_words(value, text);
    return text.finish();
}

// Without both apostrophes the value carries no charset and is read as raw text.
std::string hdr_parameter_octets(std::string_view value, std::string_view* charset) {
    size_t charset_end = value.find('\'');
    size_t language_end =
        charset_end == std::string_view::npos ? charset_end : value.find('\'', charset_end + 1);
    if (charset != nullptr) *charset = {};
    if (language_end == std::string_view::npos) return percent_decoded(value);
    if (charset != nullptr) *charset = value.substr(0, charset_end);
    return percent_decoded(value.substr(language_end + 1));
}

std::string hdr_decode_parameter(std::string_view value) {
    std::string_view charset;
    std::string bytes = hdr_parameter_octets(value, &charset);
    if (charset.empty()) return hdr_raw_to_utf8(bytes);
    return hdr_charset_to_utf8(charset, bytes);
}

// What the system's converter gives is checked too: a converter that lets through what is
// not valid UTF-8 (an encoded surrogate read as "UTF-8", say) counts as having failed.
std::string hdr_charset_to_utf8(std::string_view charset, std::string_view bytes,
                                const hdr_reading& reading) {
    auto invalid = reading.replace_invalid ? platform::invalid_bytes::replaced
                                           : platform::invalid_bytes::refused;
    auto text = platform::charset_to_utf8(charset, bytes, invalid);
    if (text && platform::valid_utf8(*text)) return std::move(*text);
    return platform::utf16_to_utf8(platform::windows_1252_to_utf16(bytes));
}

// Valid UTF-8 stays; other bytes are read in the charset the reading names. Without one,
// runs of bytes that are not UTF-8 go through the ANSI code page together, so a
// double-byte code page sees its characters whole.
std::string hdr_raw_to_utf8(std::string_view bytes, const hdr_reading& reading) {
    if (!reading.raw_charset.empty() && !platform::valid_utf8(bytes)) {
        auto text = platform::charset_to_utf8(reading.raw_charset, bytes,
                                              platform::invalid_bytes::replaced);
        if (text) return std::move(*text);
    }
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
