// Texts, transfer encodings and file names for the generator's MIME messages.

#include "tools/dbxgen/mime_parts.h"

#include <cctype>
#include <iterator>

namespace dbxgen::mime {
namespace {

// One line of text in each charset, in that charset's own bytes.
const charset_text sample_lines[] = {
    {"us-ascii", "Plain words only, as most mail of the time was."},
    {"iso-8859-1",
     "Gr\xFC\xDF"
     "e aus M\xFCnchen; das Caf\xE9 ist ge\xF6"
     "ffnet."},
    {"windows-1252", "\x93Quoted\x94 prices: \x80 100 \x96 or less."},
    {"iso-8859-2",
     "Pozdrowienia z \xA3\xF3"
     "dzi i Krak\xF3wa."},
    {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4, \xCD\xC9\xD2!"},
    {"utf-8",
     "Zo\xC3\xAB pays \xE2\x82\xAC 5; \xE4\xB8\xAD\xE6\x96\x87; "
     "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82."},
    {"gb2312", "\xD6\xD0\xCE\xC4\xD3\xCA\xBC\xFE"},
    {"shift_jis", "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x81\x81\x5B\x83\x8B"},
};

// A file name's stem in a charset; ASCII ones can go without encoding.
const charset_text name_stems[] = {
    {"us-ascii", "report"},
    {"us-ascii", "Invoice 2003-114"},
    {"us-ascii", "photo_0042"},
    {"iso-8859-1",
     "Gr\xFC\xDF"
     "e aus M\xFCnchen"},
    {"windows-1252", "R\xE9sum\xE9 \x96 2004"},
    {"utf-8", "R\xC3\xA9sum\xC3\xA9 final"},
    {"utf-8", "\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE4\xBB\xB6"},
    {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4"},
    {"iso-8859-2",
     "\xA3\xF3"
     "d\xBC"},
    {"gb2312", "\xD6\xD0\xCE\xC4"},
};

bool is_ascii(std::string_view bytes) {
    for (char c : bytes)
        if (uint8_t(c) >= 0x80) return false;
    return true;
}

// Three spellings of a name: as given, upper case, and capitalised words.
std::string odd_case(random_source& random, std::string name) {
    unsigned form = unsigned(random.below(3));
    bool word_start = true;
    for (char& c : name) {
        if (form == 1) c = char(std::toupper(uint8_t(c)));
        if (form == 2 && word_start) c = char(std::toupper(uint8_t(c)));
        word_start = !std::isalnum(uint8_t(c));
    }
    return name;
}

// RFC 2231 percent encoding of a parameter value's bytes.
std::string percent_encode(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        uint8_t byte = uint8_t(c);
        if (std::isalnum(byte) || byte == '.' || byte == '-' || byte == '_') {
            out += c;
        } else {
            out += escaped_byte('%', byte);
        }
    }
    return out;
}

// `filename*=` with charset and language, split into numbered sections when long.
std::string rfc2231_parameter(random_source& random, const char* parameter,
                              const charset_text& value) {
    std::string encoded = percent_encode(value.bytes);
    std::string language = random.chance(30) ? "en" : "";
    std::string head = std::string(value.charset) + "'" + language + "'";
    if (encoded.size() < 24 || random.chance(50))
        return std::string(";\r\n\t") + parameter + "*=" + head + encoded;
    std::string out;
    size_t section = 0;
    for (size_t at = 0; at < encoded.size(); section++) {
        size_t length = 18;
        // A section may not cut a %XX escape.
        while (at + length < encoded.size() && encoded[at + length - 1] == '%') length++;
        while (at + length < encoded.size() && encoded[at + length - 2] == '%') length++;
        out += std::string(";\r\n\t") + parameter + "*" + std::to_string(section) +
               "*=" + (section == 0 ? head : "") + encoded.substr(at, length);
        at += length;
    }
    return out;
}

std::string encoded_word(random_source& random, const charset_text& value) {
    if (random.chance(50))
        return "=?" + std::string(value.charset) + "?B?" + base64(value.bytes) + "?=";
    return "=?" + std::string(value.charset) + "?Q?" + q_encode(value.bytes) + "?=";
}

// Base64 in 76-character lines; `noisy` adds what damaged mail shows: trailing blanks,
// characters outside the alphabet and empty lines.
std::string base64_lines(random_source& random, std::string_view bytes, bool noisy) {
    std::string flat = base64(bytes), out;
    for (size_t at = 0; at < flat.size(); at += 76) {
        std::string line = flat.substr(at, 76);
        if (noisy && random.chance(20)) line.insert(random.below(line.size() + 1), "!");
        if (noisy && random.chance(20)) line += random.chance(50) ? "  " : "\t";
        out += line + "\r\n";
        if (noisy && random.chance(10)) out += "\r\n";
    }
    return out;
}

// Quoted-printable: hard line breaks for CRLF, soft ones before column 76, blanks before a
// line end encoded.
std::string quoted_printable(std::string_view bytes) {
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); i++) {
        uint8_t byte = uint8_t(bytes[i]);
        if (byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            i++;
            continue;
        }
        bool line_end = i + 1 == bytes.size() || bytes[i + 1] == '\r';
        bool literal = (byte >= 33 && byte <= 126 && byte != '=') ||
                       ((byte == ' ' || byte == '\t') && !line_end);
        std::string token = literal ? std::string(1, char(byte)) : escaped_byte('=', byte);
        if (column + token.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += token;
        column += token.size();
    }
    return out;
}

}  // namespace

charset_text body_in_some_charset(random_source& random, size_t bytes) {
    const charset_text& sample = sample_lines[random.below(std::size(sample_lines))];
    std::string text = body_text(random, bytes / 2);
    text += sample.bytes + "\r\n\r\n";
    text += body_text(random, bytes / 2);
    return {sample.charset, text};
}

std::string html_document(random_source& random, const charset_text& text,
                          const std::string& image_ids) {
    std::string html =
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n<HTML><HEAD>\r\n"
        "<META http-equiv=Content-Type content=\"text/html; charset=" +
        std::string(text.charset) + "\">\r\n</HEAD>\r\n<BODY bgColor=#ffffff>\r\n";
    size_t start = 0;
    while (start < text.bytes.size()) {
        size_t end = text.bytes.find("\r\n\r\n", start);
        if (end == std::string::npos) end = text.bytes.size();
        std::string paragraph = text.bytes.substr(start, end - start);
        if (!paragraph.empty() && paragraph != "\r\n")
            html += "<DIV><FONT face=Arial size=2>" + paragraph + "</FONT></DIV>\r\n";
        start = end + 4;
    }
    if (random.chance(30)) html += "<DIV>Tom &amp; Jerry &lt;3</DIV>\r\n";
    size_t at = 0;
    while (at < image_ids.size()) {
        size_t end = image_ids.find(' ', at);
        if (end == std::string::npos) end = image_ids.size();
        html += "<DIV><IMG alt=\"\" src=\"cid:" + image_ids.substr(at, end - at) + "\"></DIV>\r\n";
        at = end + 1;
    }
    return html + "</BODY></HTML>\r\n";
}

std::string charset_parameter(random_source& random, const char* charset) {
    std::string name = odd_case(random, charset);
    return random.chance(60) ? "charset=\"" + name + "\"" : "charset=" + name;
}

transfer pick_transfer(random_source& random, std::string_view bytes) {
    unsigned roll = unsigned(random.below(100));
    if (roll < 35) return transfer::quoted_printable;
    if (roll < 60) return transfer::base64;
    return is_ascii(bytes) && random.chance(50) ? transfer::seven_bit : transfer::eight_bit;
}

std::string transfer_field(random_source& random, transfer encoding) {
    static const char* const names[][2] = {{"7bit", "7BIT"},
                                           {"8bit", "8Bit"},
                                           {"quoted-printable", "Quoted-Printable"},
                                           {"base64", "BASE64"}};
    return std::string("Content-Transfer-Encoding: ") +
           names[int(encoding)][random.chance(20) ? 1 : 0] + "\r\n";
}

std::string encode_body(random_source& random, std::string_view bytes, transfer encoding) {
    switch (encoding) {
        case transfer::quoted_printable:
            return quoted_printable(bytes);
        case transfer::base64:
            return base64_lines(random, bytes, random.chance(20));
        default:
            return std::string(bytes);
    }
}

name_parameters attachment_name(random_source& random, const char* extension, bool named) {
    if (!named) return {};
    charset_text stem = name_stems[random.below(std::size(name_stems))];
    charset_text name{stem.charset, stem.bytes + "." + extension};
    if (is_ascii(name.bytes)) {
        std::string quoted = "\"" + name.bytes + "\"";
        if (random.chance(30)) return {";\r\n\tname=" + quoted, ""};
        return {";\r\n\tname=" + quoted, ";\r\n\tfilename=" + quoted};
    }
    if (random.chance(50))
        return {rfc2231_parameter(random, "name", name),
                rfc2231_parameter(random, "filename", name)};
    std::string word = "\"" + encoded_word(random, name) + "\"";
    if (random.chance(30)) return {";\r\n\tname=" + word, ""};
    return {";\r\n\tname=" + word, ";\r\n\tfilename=" + word};
}

std::string file_bytes(random_source& random, std::string_view magic, size_t length) {
    std::string bytes(magic);
    while (bytes.size() < length) bytes += char(random.next() & 0xFF);
    return bytes;
}

}  // namespace dbxgen::mime
