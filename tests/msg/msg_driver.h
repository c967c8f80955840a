#pragma once
// Writes a message's .msg file as the program's save does: the item built from the message's
// bytes with the receivers and subject given, written as a new file.

#include <optional>
#include <string>

#include "support/files.h"

// The message's text and header values, as UTF-16 for the tests' convenience; the file is
// made from the bytes a mailer wrote them as.
struct msg_input {
    std::optional<std::u16string> to;
    std::optional<std::u16string> subject;
    std::optional<std::u16string> text;
    bool sent = true;
};

// `folder` UTF-8. Returns the UTF-8 path of the file written; a file that cannot be written
// fails the test that asked for it.
std::string save_message_file(const std::string& folder, const std::u16string& name,
                              const msg_input& input);

// The body of a message text: what follows its header block.
std::u16string body_of(const std::u16string& text);
