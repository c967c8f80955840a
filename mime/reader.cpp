#include "mime/reader.h"

#include <algorithm>

#include "header/chars.h"
#include "header/fields.h"
#include "mime/transfer_decoding.h"
#include "platform/text.h"

namespace mime {

namespace {

using std::string_view;
constexpr size_t npos = string_view::npos;

// The header ends at the first empty line; returns where that line starts (npos when
// there is none) and sets `body_start` past it.
size_t blank_line(string_view text, size_t& body_start) {
    if (text.substr(0, 2) == "\r\n" || text.substr(0, 1) == "\n") {
        body_start = text[0] == '\n' ? 1 : 2;
        return 0;
    }
    for (size_t at = text.find('\n'); at != npos; at = text.find('\n', at + 1)) {
        if (text.substr(at + 1, 1) == "\n") {
            body_start = at + 2;
            return at + 1;
        }
        if (text.substr(at + 1, 2) == "\r\n") {
            body_start = at + 3;
            return at + 1;
        }
    }
    body_start = text.size();
    return npos;
}

// The header grammar ends lines with CR LF only; lines ended by a bare LF get their CR.
std::string with_crlf(string_view header) {
    std::string out;
    out.reserve(header.size() + header.size() / 32);
    for (size_t at = 0; at < header.size(); ++at) {
        if (header[at] == '\n' && (at == 0 || header[at - 1] != '\r')) out += '\r';
        out += header[at];
    }
    return out;
}

// The position in `text` after its first `lines` line breaks.
size_t after_lines(string_view text, size_t lines) {
    size_t at = 0;
    for (; lines > 0 && at < text.size(); --lines) {
        size_t next = text.find('\n', at);
        if (next == npos) return text.size();
        at = next + 1;
    }
    return at;
}

size_t count_lines(string_view text) {
    size_t count = 0;
    for (char c : text) count += c == '\n';
    return count;
}

std::string without_angles(std::string value) {
    size_t start = value.find_first_not_of(" \t<");
    size_t end = value.find_last_not_of(" \t>");
    if (start == std::string::npos || end < start) return {};
    return value.substr(start, end - start + 1);
}

// The MIME fields of the header lines; the first of each kind counts.
void read_fields(string_view header, mime_part& part, bool& has_type) {
    bool has_encoding = false, has_disposition = false, has_id = false;
    walk_header_fields(header, [&](const std::string& name, const std::string& value) {
        using platform::equal_ignoring_case;
        if (!has_type && equal_ignoring_case(name, "content-type")) {
            has_type = true;
            part.type = parse_field_value(value, part.type_parameters);
        } else if (!has_encoding && equal_ignoring_case(name, "content-transfer-encoding")) {
            has_encoding = true;
            mime_parameters ignored;
            part.transfer_encoding = parse_field_value(value, ignored);
        } else if (!has_disposition && equal_ignoring_case(name, "content-disposition")) {
            has_disposition = true;
            part.disposition = parse_field_value(value, part.disposition_parameters);
        } else if (!has_id && equal_ignoring_case(name, "content-id")) {
            has_id = true;
            part.content_id = without_angles(value);
        }
    });
}

// Splits the text into header and body. A text without an empty line ends its header at
// the first line that is not a field; one that starts with no field at all is all body.
void split_header(string_view text, mime_part& part, bool& has_type) {
    size_t body_start = 0;
    size_t header_end = blank_line(text, body_start);
    // A header is small; a part that never ends its header is read for its first megabyte.
    string_view header = text.substr(0, std::min({header_end, text.size(), mime_header_limit}));
    std::string lines = with_crlf(header);
    const char* start = lines.c_str();
    const char* stop =
        hdr_fields_walk(start, start + lines.size(), [](const std::string&, const std::string&) {});
    if (static_cast<size_t>(stop - start) < lines.size()) {
        // A line that is no field ends the header early; the body starts there.
        header = text.substr(0, after_lines(text, count_lines(string_view(start, stop - start))));
        body_start = header.size();
    }
    part.header = header;
    part.body = text.substr(body_start);
    read_fields(header, part, has_type);
}

// A type without a '/' is read as plain text, as if none had been given.
void settle_type(mime_part& part, bool has_type, const mime_part* parent) {
    if (has_type && part.type.find('/') != std::string::npos) return;
    part.type = parent && parent->type == "multipart/digest" ? "message/rfc822" : "text/plain";
}

struct delimiter {
    size_t line_start;     // where the delimiter line starts
    size_t content_start;  // where the part after it starts
    bool closing;
};

// The delimiter line starting at `at`, if the marker found there is one: at a line's
// start, followed by "--" (the close) or by blanks and the line's end.
bool read_delimiter(string_view body, size_t at, size_t marker_size, delimiter& out) {
    if (at > 0 && body[at - 1] != '\n') return false;
    size_t after = at + marker_size;
    out.line_start = at;
    out.closing = body.substr(after, 2) == "--";
    if (!out.closing) {
        while (after < body.size() && hdr_is_wsp(body[after])) ++after;
        if (after < body.size() && body[after] != '\r' && body[after] != '\n') return false;
    }
    size_t line_end = body.find('\n', after);
    out.content_start = line_end == npos ? body.size() : line_end + 1;
    return true;
}

std::vector<delimiter> find_delimiters(string_view body, const std::string& boundary) {
    std::vector<delimiter> found;
    std::string marker = "--" + boundary;
    for (size_t at = body.find(marker); at != npos; at = body.find(marker, at + 1)) {
        delimiter next;
        if (!read_delimiter(body, at, marker.size(), next)) continue;
        found.push_back(next);
        if (next.closing) break;
    }
    return found;
}

// The part's text ends before the line break that precedes the next delimiter.
size_t part_end(string_view body, size_t line_start) {
    if (line_start >= 2 && body.substr(line_start - 2, 2) == "\r\n") return line_start - 2;
    if (line_start >= 1 && body[line_start - 1] == '\n') return line_start - 1;
    return line_start;
}

// The encodings whose bodies are decoded before they are read.
bool is_decoded_encoding(const std::string& encoding) {
    return encoding == "base64" || encoding == "quoted-printable" || is_uuencoding(encoding);
}

void make_unreadable(mime_part& part) {
    part.kind = mime_part::shape::leaf;
    part.unreadable = true;
    part.parts.clear();
}

// How deep the reader is, and how many more parts it may make: a body of nothing but
// delimiters would otherwise make millions of parts out of a few megabytes.
struct read_state {
    int depth;
    size_t& parts_left;
    read_state deeper() const { return {depth + 1, parts_left}; }
};

mime_part read_part(string_view text, const read_state& state, const mime_part* parent);

// The rest of a multipart once the reader has made all the parts it may: one raw leaf.
mime_part raw_rest(string_view rest) {
    mime_part part;
    part.body = rest;
    make_unreadable(part);
    return part;
}

void read_multipart(mime_part& part, const read_state& state) {
    std::string boundary = parameter_raw(part.type_parameters, "boundary");
    std::vector<delimiter> found =
        boundary.empty() ? std::vector<delimiter>() : find_delimiters(part.body, boundary);
    if (found.empty() || found.front().closing) return make_unreadable(part);
    part.kind = mime_part::shape::multipart;
    for (size_t i = 0; i < found.size() && !found[i].closing; ++i) {
        size_t start = found[i].content_start;
        // A last part without a closing delimiter runs to the end of the body.
        size_t end =
            i + 1 < found.size() ? part_end(part.body, found[i + 1].line_start) : part.body.size();
        if (end < start) end = start;
        if (state.parts_left == 0) {
            part.parts.push_back(raw_rest(part.body.substr(start)));
            return;
        }
        --state.parts_left;
        part.parts.push_back(
            read_part(part.body.substr(start, end - start), state.deeper(), &part));
    }
}

// An enclosed message is read as a message; one sent in base64 or quoted-printable
// (mailers did) is read from its decoded text, which the part keeps.
void read_enclosed(mime_part& part, const read_state& state) {
    string_view text = part.body;
    if (is_decoded_encoding(part.transfer_encoding)) {
        std::string storage;
        text = decoded_body(part, storage);
        if (text.data() == storage.data()) {
            part.decoded_text = std::make_shared<const std::string>(std::move(storage));
            text = *part.decoded_text;
        }
    }
    if (text.find_first_not_of(" \t\r\n") == npos) {
        part.decoded_text.reset();
        part.truncated = true;
        part.body = string_view(part.header.data(),
                                part.body.data() + part.body.size() - part.header.data());
        return;
    }
    part.kind = mime_part::shape::message;
    part.parts.push_back(read_part(text, state.deeper(), nullptr));
}

mime_part read_part(string_view text, const read_state& state, const mime_part* parent) {
    mime_part part;
    bool has_type = false;
    // A message, not a part of a multipart, may begin with an mbox separator line.
    if (parent == nullptr) text = without_mbox_line(text);
    split_header(text, part, has_type);
    settle_type(part, has_type, parent);
    bool nested = part.type.rfind("multipart/", 0) == 0 || part.type == "message/rfc822";
    if (nested && state.depth >= mime_depth_limit) {
        make_unreadable(part);
    } else if (part.type.rfind("multipart/", 0) == 0) {
        read_multipart(part, state);
    } else if (part.type == "message/rfc822") {
        read_enclosed(part, state);
    }
    return part;
}

}  // namespace

std::string header_lines(std::string_view header) {
    return with_crlf(header);
}

void walk_header_fields(std::string_view header, const field_visitor& visit) {
    std::string lines = with_crlf(header);
    const char* start = lines.c_str();
    hdr_fields_walk(start, start + lines.size(), visit, hdr_unfolding::blanks_kept);
}

// Mail programs that kept mail in mbox files wrote the separator line ("From sender date")
// into forwarded messages and abuse reports; it is no field, and would end the header at
// once.
std::string_view without_mbox_line(std::string_view text) {
    if (text.substr(0, 5) != "From ") return text;
    size_t line_end = text.find('\n');
    return line_end == npos ? text.substr(text.size()) : text.substr(line_end + 1);
}

mime_part read_mime_message(std::string_view text) {
    size_t parts_left = mime_part_limit;
    return read_part(text, read_state{0, parts_left}, nullptr);
}

std::string_view decoded_body(const mime_part& part, std::string& storage) {
    if (part.unreadable || part.truncated) return part.body;
    if (part.transfer_encoding == "base64") {
        storage = base64_decoded(part.body);
        return storage;
    }
    if (part.transfer_encoding == "quoted-printable") {
        storage = quoted_printable_decoded(part.body);
        return storage;
    }
    if (is_uuencoding(part.transfer_encoding)) {
        if (auto file = uudecoded(part.body)) {
            storage = std::move(file->bytes);
            return storage;
        }
    }
    return part.body;
}

}  // namespace mime
