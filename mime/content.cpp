#include "mime/content.h"

#include <algorithm>

#include "header/decode.h"
#include "header/fields.h"
#include "header/summary.h"
#include "mime/transfer_decoding.h"
#include "platform/text.h"

namespace mime {

namespace {

bool is_attachment(const mime_part& part) {
    return part.unreadable || part.disposition == "attachment";
}

// A text part with no name and nothing but blanks and line breaks in it: mailers leave
// such parts between the others, and as a file it would only be an empty one.
bool is_empty_unnamed_text(const mime_part& part) {
    if (part.unreadable || part.type.rfind("text/", 0) != 0) return false;
    if (part.disposition_parameters.count("filename") || part.type_parameters.count("name"))
        return false;
    std::string storage;
    return decoded_body(part, storage).find_first_not_of(" \t\r\n") == std::string_view::npos;
}

void sort_into(const mime_part& part, message_content& content) {
    switch (part.kind) {
        case mime_part::shape::multipart:
            for (const mime_part& child : part.parts) sort_into(child, content);
            return;
        case mime_part::shape::message:
            content.attachments.push_back(&part);
            return;
        case mime_part::shape::leaf:
            break;
    }
    if (!content.text && part.type == "text/plain" && !is_attachment(part)) {
        content.text = &part;
    } else if (!content.html && part.type == "text/html" && !is_attachment(part)) {
        content.html = &part;
    } else if (!is_empty_unnamed_text(part)) {
        content.attachments.push_back(&part);
    }
}

// Charsets whose line breaks are not the byte LF (and whose ASCII is not ASCII's bytes,
// or not without a shift state).
bool keeps_ascii_bytes(const std::string& charset) {
    std::string name = ascii_lower(charset);
    return name.find("16") == std::string::npos && name.find("32") == std::string::npos &&
           name.find("utf-7") == std::string::npos && name.find("2022") == std::string::npos &&
           name != "unicode" && name != "utf7" && name != "unicodefffe";
}

constexpr size_t piece_size = 1 << 15;  // small enough to reuse heap memory, not map it anew

template <typename Convert>
void convert_in_pieces(std::string_view bytes, bool pieces, Convert convert) {
    if (!pieces) return convert(bytes);
    for (size_t at = 0; at < bytes.size();) {
        size_t end =
            bytes.size() - at <= piece_size ? bytes.size() : bytes.find('\n', at + piece_size);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        convert(bytes.substr(at, end - at));
        at = end;
    }
}

// Text that needs no conversion: no charset or UTF-8, and valid UTF-8.
bool is_utf8_text(const std::string& charset, std::string_view bytes) {
    return (charset.empty() || platform::equal_ignoring_case(charset, "utf-8")) &&
           platform::valid_utf8(bytes);
}

// A byte not valid in the charset costs one character, not the reading of the whole part
// (a block link cut an escape, a mailing list added a footer in another charset).
std::string piece_to_utf8(const std::string& charset, std::string_view piece) {
    if (charset.empty()) return hdr_raw_to_utf8(piece);
    return hdr_charset_to_utf8(charset, piece, hdr_reading{true, {}});
}

}  // namespace

message_content sort_parts(const mime_part& message) {
    message_content content;
    sort_into(message, content);
    return content;
}

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower(c);
    return out;
}

namespace {

// Quoted-printable text is decoded a piece at a time as it is converted: a piece ends at a
// line break, and nothing of the encoding reaches past one, so the decoded text never
// exists whole beside its conversion. Converted pieces end at a decoded line break.
std::string quoted_printable_text_utf8(std::string_view body, const std::string& charset) {
    std::string text, decoded;
    text.reserve(body.size());  // never touched beyond what the text fills
    convert_in_pieces(body, true, [&](std::string_view piece) {
        decoded += quoted_printable_decoded(piece);
        size_t end = decoded.rfind('\n');
        if (end == std::string::npos) return;
        text += piece_to_utf8(charset, std::string_view(decoded).substr(0, end + 1));
        decoded.erase(0, end + 1);
    });
    text += piece_to_utf8(charset, decoded);
    return text;
}

}  // namespace

// Text already in UTF-8 is taken as it is (decoded bytes moved, not copied again); other
// text is converted in pieces that end at a line break, so a long body never exists three
// times over; text in charsets that do not keep ASCII's bytes is converted whole.
std::string part_text_utf8(const mime_part& part) {
    std::string charset = parameter_raw(part.type_parameters, "charset");
    if (part.transfer_encoding == "quoted-printable" && !part.unreadable &&
        keeps_ascii_bytes(charset))
        return quoted_printable_text_utf8(part.body, charset);
    std::string storage;
    std::string_view bytes = decoded_body(part, storage);
    if (is_utf8_text(charset, bytes))
        return bytes.data() == storage.data() ? std::move(storage) : std::string(bytes);
    std::string text;
    text.reserve(bytes.size());  // text mostly keeps its size: grown seldom
    convert_in_pieces(bytes, keeps_ascii_bytes(charset),
                      [&](std::string_view piece) { text += piece_to_utf8(charset, piece); });
    return text;
}

// Only a charset that writes ASCII as ASCII can be the one raw header bytes are in.
std::string message_charset(const mime_part& message) {
    if (message.kind == mime_part::shape::multipart) {
        for (const mime_part& part : message.parts) {
            if (std::string charset = message_charset(part); !charset.empty()) return charset;
        }
        return {};
    }
    if (message.kind != mime_part::shape::leaf || message.unreadable ||
        message.type.rfind("text/", 0) != 0)
        return {};
    std::string charset = parameter_raw(message.type_parameters, "charset");
    return keeps_ascii_bytes(charset) ? charset : std::string();
}

std::string field_as_written(const mime_part& message, const char* field,
                             const std::string& value) {
    std::optional<std::string> joined, kept;
    std::string lines = header_lines(message.header);
    for (auto [unfolding, text] : {std::pair{hdr_unfolding::joined, &joined},
                                   std::pair{hdr_unfolding::blanks_kept, &kept}}) {
        hdr_fields_walk(
            lines.c_str(), lines.c_str() + lines.size(),
            [&, into = text](const std::string& name, const std::string& found) {
                if (platform::equal_ignoring_case(name, field)) *into = found;  // the last
            },
            unfolding);
    }
    // The list's value ends at a NUL; so does the one compared with it.
    bool own = joined && std::string_view(joined->c_str()) == std::string_view(value.c_str());
    return own ? *kept : value;
}

std::string subject_text(const mime_part& message, const std::string& subject) {
    std::string charset = message_charset(message);
    return hdr_decode_text(field_as_written(message, "subject", subject),
                           hdr_reading{true, charset});
}

namespace {

// Where `lowered` (lower case) is in `text` from `from` on, ignoring the case of ASCII
// letters; npos when it is not. Searched in place: a lowered copy of the HTML would cost
// its size once more.
size_t find_lowered(std::string_view text, std::string_view lowered, size_t from = 0) {
    if (from > text.size()) return std::string_view::npos;
    auto same = [](char a, char b) { return lower(a) == b; };
    auto found = std::search(text.begin() + from, text.end(), lowered.begin(), lowered.end(), same);
    return found == text.end() ? std::string_view::npos : found - text.begin();
}

struct text_range {
    size_t at, size;
};

// The charset label in the tag `tag` (from "<meta" to its '>'), found at offset `base`.
std::optional<text_range> meta_charset(std::string_view tag, size_t base) {
    size_t at = find_lowered(tag, "charset");
    if (at == std::string_view::npos) return std::nullopt;
    at += 7;
    auto skip_blanks = [&] {
        while (at < tag.size() &&
               std::string_view(" \t\r\n").find(tag[at]) != std::string_view::npos)
            ++at;
    };
    skip_blanks();
    if (at >= tag.size() || tag[at] != '=') return std::nullopt;
    ++at;
    skip_blanks();
    if (at < tag.size() && (tag[at] == '"' || tag[at] == '\'')) ++at;
    size_t end = tag.find_first_of("\"'; \t\r\n>", at);
    if (end == std::string_view::npos) end = tag.size();
    if (end == at) return std::nullopt;
    return text_range{base + at, end - at};
}

// The HTML with each of the labels replaced by `charset`, NUL bytes dropped.
std::string relabelled(std::string_view html, const std::vector<text_range>& labels,
                       const std::string& charset) {
    std::string out;
    out.reserve(html.size());
    size_t at = 0;
    for (const text_range& label : labels) {
        out.append(html.substr(at, label.at - at));
        out += charset;
        at = label.at + label.size;
    }
    out.append(html.substr(at));
    std::erase(out, '\0');
    return out;
}

// Where the <meta> tags before the HTML's body name a charset (`<meta charset=...>`, or the
// charset parameter of a Content-Type's `content`): each label's offset and length.
std::vector<text_range> html_meta_charsets(std::string_view html) {
    std::vector<text_range> found;
    size_t body = find_lowered(html, "<body");
    for (size_t at = find_lowered(html, "<meta"); at < body;
         at = find_lowered(html, "<meta", at + 5)) {
        size_t end = html.find('>', at);
        if (end == std::string_view::npos) end = html.size();
        if (auto label = meta_charset(html.substr(at, end - at), at)) found.push_back(*label);
    }
    return found;
}

}  // namespace

item_html html_for_item(const mime_part& part) {
    item_html html;
    std::string storage;
    std::string_view bytes = decoded_body(part, storage);
    std::vector<text_range> labels = html_meta_charsets(bytes);
    std::string charset = parameter_raw(part.type_parameters, "charset");
    if (charset.empty() && !labels.empty())
        charset = bytes.substr(labels.front().at, labels.front().size);
    unsigned code_page = platform::charset_code_page(charset);
    if (code_page == 0) {
        // Read as text: the bytes are UTF-8 now, and the tags must say so.
        charset = "utf-8";
        code_page = 65001;
        storage = part_text_utf8(part);
        bytes = storage;
        labels = html_meta_charsets(bytes);
    }
    std::erase_if(labels, [&](const text_range& label) {
        return platform::charset_code_page(bytes.substr(label.at, label.size)) == code_page;
    });
    if (labels.empty() && bytes.data() != storage.data() &&
        bytes.find('\0') == std::string_view::npos) {
        html.written = bytes;
    } else if (labels.empty() && bytes.data() == storage.data()) {
        html.bytes = std::move(storage);
        std::erase(html.bytes, '\0');
    } else {
        html.bytes = relabelled(bytes, labels, charset);
    }
    html.code_page = code_page;
    html.charset = std::move(charset);
    return html;
}

bool html_refers_to(std::string_view html, const std::string& content_id) {
    if (content_id.empty()) return false;
    return find_lowered(html, "cid:" + ascii_lower(content_id)) != std::string_view::npos;
}

header_facts read_header_facts(std::string_view header) {
    header_facts facts;
    std::string lines = header_lines(header);
    hdr_main_values main = hdr_main_fields(lines.c_str(), lines.c_str() + lines.size());
    facts.from = std::move(main[hdr_from]);
    facts.to = std::move(main[hdr_to]);
    facts.subject = std::move(main[hdr_subject]);
    facts.date = hdr_message_date(main);
    walk_header_fields(header, [&](const std::string& name, const std::string& value) {
        using platform::equal_ignoring_case;
        for (auto [field, slot] : {std::pair{"cc", &facts.cc}, {"message-id", &facts.message_id}}) {
            if (equal_ignoring_case(name, field) && !*slot) *slot = value;
        }
    });
    return facts;
}

}  // namespace mime
