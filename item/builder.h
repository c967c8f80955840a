#pragma once
// A message as an item: its properties, recipients and attachments (an enclosed message an
// item of its own), built once from its MIME parts, whatever file will hold it.

#include <optional>
#include <string>
#include <string_view>

#include "item/item.h"

namespace item {

// The item of the message `bytes`, made from every one of its MIME parts, with the receivers
// and the subject the caller gives as raw header values (no receivers when none are given;
// the message's own subject when none is given).
// The item owns its values, except that an HTML body written as it is read views `bytes`,
// which then outlive the item.
message build_item(std::string_view bytes, const std::optional<std::string>& to,
                   const std::optional<std::string>& subject, bool sent);

}  // namespace item
