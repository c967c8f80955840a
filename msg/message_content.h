#pragma once
// What a message's MIME parts become in its .msg file: the plain body, the HTML body and
// the attachments, in the order the parts come.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msg/mime_reader.h"

namespace msg {

struct message_content {
    const mime_part* text = nullptr;  // the first plain-text part not sent as an attachment
    const mime_part* html = nullptr;  // the first HTML part not sent as an attachment
    std::vector<const mime_part*> attachments;  // every other leaf, and enclosed messages
};

message_content sort_parts(const mime_part& message);

// A text part's body, transfer encoding undone, from its charset into UTF-8. A part with
// no charset keeps its valid UTF-8 and reads other bytes through the ANSI code page.
std::string part_text_utf8(const mime_part& part);

// The same text when it is the part's body as written (UTF-8 with no transfer encoding,
// no NUL in it): a view of the message text. None otherwise.
std::optional<std::string_view> part_text_as_written(const mime_part& part);

// Text as an item holds it: NUL characters are dropped, since the readers of message files
// take one for the end of the text, but nothing after them is lost.
std::u16string text_value(std::string_view utf8);
std::string& drop_nul(std::string& text);

// The charset the message's first text part declares (its raw header bytes are most
// likely written in it); empty when none does.
std::string message_charset(const mime_part& message);

// The message's own last `field` as written, the blanks of its folds kept, when `value` (the
// field as the list reads it, folds joined) is that field's; otherwise `value` itself.
std::string field_as_written(const mime_part& message, const char* field, const std::string& value);

// The item's subject for people to read. `subject` is the Subject value as the list reads
// it (continuation lines joined with nothing between them); when it is the message's own,
// the field is read again keeping the blanks of its continuation lines. Encoded words are
// decoded, bytes not valid in their charset replaced one by one, raw bytes that are not
// UTF-8 read in the message's charset, and NUL characters dropped.
std::u16string subject_text(const mime_part& message, const std::string& subject);

// True when the HTML (UTF-8) refers to the content id ("cid:" links, any case).
bool html_refers_to(std::string_view html, const std::string& content_id);

std::string ascii_lower(std::string_view text);

}  // namespace msg
