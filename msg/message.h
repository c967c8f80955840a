#pragma once
// An Outlook message file (.msg) holding one item.

#include <string>

#include "item/item.h"
#include "msg/compound_file.h"

namespace msg {

// Writes the item's .msg bytes to `sink`; false when the sink fails.
bool write_message(const item::message& built, const byte_sink& sink);

// Writes the item as a new .msg file at `path` (never through a link, never onto what
// stands there). Empty when written, else why not ("cannot write PATH: reason").
std::string write_message_file(const item::message& built, const std::string& path);

}  // namespace msg
