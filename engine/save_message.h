#pragma once
// Saving a message as a file of its own, under a temporary name first, and dating it.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/read_message.h"
#include "platform/read.h"

// Writes the message under a temporary name in `folder`, dates it, and gives it its name
// when it is complete: 1 when saved, 2 when the message failed. The store's own file is
// never replaced. A failed .msg conversion throws.
int _save_message(const char* folder, const message_read& message, int mode,
                  const std::optional<platform::file_identity>& store);

// The name a message file has while it is being written: short, and this process's own
// (its id and a number it takes once), so runs side by side never touch each other's.
std::string take_temporary_name(const std::string& name);
// The name the next message saved as `name` takes while it is written.
std::string next_temporary_name(const std::string& name);

// Whether a finished file may take the name `path`: nothing stands there, or a regular file
// that is not read-only and is not the store being read (`store`). errno says why not.
bool may_take_name(const std::string& path, const std::optional<platform::file_identity>& store);

// Gives the file `name` in `folder` the date of its message.
void _set_message_time(const char* folder, const std::string& name, int64_t date);
