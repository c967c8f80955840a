#pragma once
// Saving a message as a file of its own, under a temporary name first, and dating it.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/read_message.h"
#include "platform/read.h"

struct dbx_index_entry;

// Writes the message under a temporary name in `folder`, dates it, and gives it its name
// when it is complete: 1 when saved, 2 when the message failed. The store's own file is
// never replaced. A failed .msg conversion throws. A .msg file of our own carries the state
// `indexed` gives, when the store's index names the message.
int _save_message(const char* folder, const message_read& message, int mode,
                  const std::optional<platform::file_identity>& store,
                  const dbx_index_entry* indexed = nullptr);

// Gives the file `name` in `folder` the date of its message.
void _set_message_time(const char* folder, const std::string& name, int64_t date);
