#pragma once
// What the store's own index says of a message beyond its bytes (read, replied, forwarded,
// flagged, its priority and when it arrived), set on its item as Outlook keeps it.

#include <cstdint>

#include "item/item.h"

namespace item {

struct message_state {
    bool read = true;
    bool replied = false;
    bool forwarded = false;
    bool flagged = false;
    uint64_t received = 0;  // FILETIME; 0 when not known
    int priority = 0;       // 1 high, 3 normal, 5 low (as mail headers count); 0 when not known
};

// Sets the state on `message`, an item the builder made: the read flag in its message flags,
// the delivery time, the last verb (a reply before a forward: which came last is not known)
// with its icon, the follow-up flag, and the importance and priority. What is not known
// keeps the builder's value.
void set_message_state(message& message, const message_state& state);

}  // namespace item
