#pragma once
// An item written into a compound file the way an Outlook message file holds it: fixed-size
// values in the object's property stream, strings and bytes in streams of their own,
// recipients, attachments and an attached message in storages below the object's.

#include <cstdint>
#include <deque>
#include <string>

#include "item/item.h"
#include "msg/compound_file.h"

namespace msg {

// The streams view the item's values: it must stay alive until the file is written. Bytes
// made here (property streams) live in `owned`.
void add_item(compound_file& file, int storage, const item::message& message, bool embedded,
              std::deque<std::string>& owned);

std::u16string ascii(const char* s);

}  // namespace msg
