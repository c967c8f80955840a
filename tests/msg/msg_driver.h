#pragma once
// Drives the late-bound objects exactly as the .msg writer does: root 4 and 7(6), folder 17,
// items 4(0), item puts 64, 0, 65, 11, then 72(path, 3).

#include <optional>
#include <string>

#include "support/files.h"

struct msg_input {
    std::optional<std::u16string> to;
    std::optional<std::u16string> subject;
    std::optional<std::u16string> text;
    bool sent = true;
};

// `folder` UTF-8; the path handed to the item is the folder, a backslash and the name.
// Returns the UTF-8 path of the file written; throws dispatch::dispatch_error.
std::string save_through_store(const std::string& folder, const std::u16string& name,
                               const msg_input& input);

// The body of a message text: what follows its header block.
std::u16string body_of(const std::u16string& text);
