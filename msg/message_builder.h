#pragma once
// A message as an item: its properties, recipients and attachments (an enclosed message an
// item of its own), built once from its MIME parts, whatever file will hold it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "msg/item.h"
#include "msg/mime_reader.h"

namespace msg {

// What is known of the message besides its parts: the caller gives the receivers and the
// subject as raw header bytes; an enclosed message reads its own.
struct message_facts {
    std::optional<std::string> to, subject;
    bool sent = true;
};

// What a message's header says: From, To, Subject and the date as the list and the file
// name take them (so the submit time is the time a saved file carries), and the first Cc
// and Message-ID; raw values. Header lines may end in a bare LF.
struct header_facts {
    std::optional<std::string> from, to, cc, subject, message_id;
    std::optional<int64_t> date;
};
header_facts read_header_facts(std::string_view header);

// The item owns its values: it outlives the parts. Only an HTML body written as it is read
// may view `text` (the message text the parts were read from), which then outlives the
// item; an empty `text` is never viewed.
item build_item(const mime_part& message, const message_facts& facts, std::string_view text = {});

}  // namespace msg
