#pragma once
// What a message says: its MIME parts sorted into the plain body, the HTML body and the
// attachments, in the order the parts come; their texts; the facts its header gives.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mime/reader.h"

namespace mime {

struct message_content {
    const mime_part* text = nullptr;  // the first plain-text part not sent as an attachment
    const mime_part* html = nullptr;  // the first HTML part not sent as an attachment
    std::vector<const mime_part*> attachments;  // every other leaf, and enclosed messages
};

message_content sort_parts(const mime_part& message);

// A text part's body, transfer encoding undone, from its charset into UTF-8. A part with
// no charset keeps its valid UTF-8 and reads other bytes through the ANSI code page.
std::string part_text_utf8(const mime_part& part);

// The charset the message's first text part declares (its raw header bytes are most
// likely written in it); empty when none does.
std::string message_charset(const mime_part& message);

// The message's own last `field` as written, the blanks of its folds kept, when `value` (the
// field as the list reads it, folds joined) is that field's; otherwise `value` itself.
std::string field_as_written(const mime_part& message, const char* field, const std::string& value);

// The subject for people to read, as UTF-8. `subject` is the Subject value as the list reads
// it (continuation lines joined with nothing between them); when it is the message's own,
// the field is read again keeping the blanks of its continuation lines. Encoded words are
// decoded, bytes not valid in their charset replaced one by one, and raw bytes that are not
// UTF-8 read in the message's charset.
std::string subject_text(const mime_part& message, const std::string& subject);

// The HTML as an item keeps it: its bytes in its own charset (the part's, or the one its
// <meta> tag names when the part names none) when Windows has a code page for it; otherwise
// its text as UTF-8. A <meta> tag before the body that names a charset of another code page
// is made to name the one kept, so that readers following the tag read what the code page
// says. NUL bytes are dropped.
struct item_html {
    std::optional<std::string_view> written;  // the part's body as written, when it is that
    std::string bytes;                        // otherwise the bytes
    unsigned code_page = 65001;
    std::string charset;  // the charset the bytes are in
    std::string_view view() const { return written ? *written : std::string_view(bytes); }
};
item_html html_for_item(const mime_part& part);

// True when the HTML (UTF-8) refers to the content id ("cid:" links, any case).
bool html_refers_to(std::string_view html, const std::string& content_id);

std::string ascii_lower(std::string_view text);

// What a message's header says: From, To, Subject and the date as the list and the file
// name take them (so the submit time is the time a saved file carries), and the first Cc
// and Message-ID; raw values. Header lines may end in a bare LF.
struct header_facts {
    std::optional<std::string> from, to, cc, subject, message_id;
    std::optional<int64_t> date;
};
header_facts read_header_facts(std::string_view header);

}  // namespace mime
