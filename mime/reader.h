#pragma once
// The MIME structure of a message text: its parts, nested to any depth, each with its
// header facts and a view of its still-encoded body. The reader never fails: what it
// cannot make sense of becomes a leaf of raw bytes, and nesting stops at a fixed depth.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mime/fields.h"

namespace mime {

struct mime_part {
    enum class shape { leaf, multipart, message };
    shape kind = shape::leaf;
    std::string type = "text/plain";  // lower case
    mime_parameters type_parameters;
    std::string transfer_encoding;  // lower case; empty when none was given
    std::string disposition;        // lower case; empty when none was given
    mime_parameters disposition_parameters;
    std::string content_id;   // without its angle brackets
    bool unreadable = false;  // a structure that could not be read: keep the raw bytes
    // An enclosed message with no text after its part's header (cut short, or its header run
    // into the part's): kept as an attachment of the part's bytes, header lines included.
    bool truncated = false;
    std::string_view header;       // the header lines, as written
    std::string_view body;         // the body, transfer-encoded; a view into the message text
    std::vector<mime_part> parts;  // a multipart's parts, or a message part's message
    // An enclosed message sent in base64 or quoted-printable: its decoded text, which the
    // enclosed message's views point into.
    std::shared_ptr<const std::string> decoded_text;
};

// Nesting deeper than this (multiparts and enclosed messages together) is kept as raw bytes.
constexpr int mime_depth_limit = 32;

// A message makes at most this many parts; the rest of its text is kept as raw bytes.
constexpr size_t mime_part_limit = 10000;

// A header is read for its first megabyte.
constexpr size_t mime_header_limit = 1 << 20;

// Reads the whole message text; the parts hold views into `text`.
mime_part read_mime_message(std::string_view text);

// Header lines as the header grammar reads them: a line ended by a bare LF gets its CR.
std::string header_lines(std::string_view header);

// Calls `visit(name, value)` for every field of header lines (lines may end in a bare LF),
// each value unfolded with the blanks of its continuation lines kept.
using field_visitor = std::function<void(const std::string& name, const std::string& value)>;
void walk_header_fields(std::string_view header, const field_visitor& visit);

// A message text without the mbox "From " line some programs put before its header.
std::string_view without_mbox_line(std::string_view text);

// The body's bytes with the transfer encoding undone (a truncated enclosed message's as they
// are). Bodies sent as they are come back as a view of the message text; decoded ones are
// put in `storage` and viewed there.
std::string_view decoded_body(const mime_part& part, std::string& storage);

}  // namespace mime
