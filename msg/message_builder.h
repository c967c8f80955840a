#pragma once
// One message object of a .msg file, the top-level message or one embedded in an
// attachment: its properties, recipients and attachments, built from its MIME parts.

#include <deque>
#include <optional>
#include <string>

#include "msg/compound_file.h"
#include "msg/mime_reader.h"

namespace msg {

// Where a message object goes and what keeps its bytes alive until the file is written.
struct message_target {
    compound_file& file;
    int storage;
    std::deque<std::string>& owned;
    std::deque<std::u16string>& keep;
    bool embedded;
};

// What is known of the message besides its parts: the top-level item's calls give the
// receivers and the subject as raw header bytes; an embedded message reads its own.
struct message_facts {
    std::optional<std::string> to, subject;
    bool sent = true;
};

void build_message(const message_target& target, const mime_part& message,
                   const message_facts& facts);

}  // namespace msg
