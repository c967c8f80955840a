#pragma once
// An Outlook message file (.msg) for one item of the built-in store.

#include <optional>
#include <string>

#include "msg/compound_file.h"

namespace msg {

// What the calls on an item set. `text` is the whole RFC 822 message; the sender, the dates,
// the header block and the message id come from it.
struct message_item {
    std::optional<std::u16string> to;
    std::optional<std::u16string> subject;
    std::optional<std::u16string> text;
    bool sent = false;
};

// Writes the item's .msg bytes to `sink`; false when the sink fails.
bool write_message(const message_item& item, const byte_sink& sink);

}  // namespace msg
