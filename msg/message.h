#pragma once
// An Outlook message file (.msg) for one item of the built-in store.

#include <optional>
#include <string>

#include "msg/compound_file.h"

namespace msg {

// What the calls on an item set. `text` is the whole RFC 822 message as bytes; the sender,
// the dates, the header block, the message id, the bodies and attachments come from it.
struct message_item {
    std::optional<std::u16string> to;
    std::optional<std::u16string> subject;
    std::optional<std::string> text;
    bool sent = false;
};

// The message bytes behind the text the writer hands over: it read them through the ANSI
// code page, so they are taken back that way. A text with characters the code page lacks
// did not come that way and is read as UTF-8. The text is converted in pieces, so the
// bytes and the text together stay close to three times the message's size.
std::string message_bytes(std::u16string_view text);

// Writes the item's .msg bytes to `sink`; false when the sink fails.
bool write_message(const message_item& item, const byte_sink& sink);

}  // namespace msg
