#pragma once
// A message as an item: its properties, recipients and attachments (an enclosed message an
// item of its own), built once from its MIME parts, whatever file will hold it.

#include <optional>
#include <string>

#include "msg/item.h"
#include "msg/mime_reader.h"

namespace msg {

// What is known of the message besides its parts: the caller gives the receivers and the
// subject as raw header bytes; an enclosed message reads its own.
struct message_facts {
    std::optional<std::string> to, subject;
    bool sent = true;
};

// The item owns its values: it outlives the parts and the text they view.
item build_item(const mime_part& message, const message_facts& facts);

}  // namespace msg
