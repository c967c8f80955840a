// The state of a message from the store's index, as item properties ([MS-OXOMSG], [MS-OXOFLAG]).

#include "item/state.h"

#include "item/tags.h"

namespace item {

void set_message_state(message& message, const message_state& state) {
    uint64_t& flags = message.properties[tags::message_flags].fixed;
    flags = state.read ? flags | message_flag_read : flags & ~uint64_t{message_flag_read};
    if (state.received != 0) message.set_fixed(tags::message_delivery_time, state.received);
    if (state.replied || state.forwarded) {
        // The index keeps no time of the reply or forward: the verb's time is left out
        // rather than made up.
        message.set_fixed(tags::last_verb_executed,
                          state.replied ? verb_reply_to_sender : verb_forward);
        message.set_fixed(tags::icon_index, state.replied ? icon_replied : icon_forwarded);
    }
    if (state.flagged) message.set_fixed(tags::flag_status, followup_flagged);
    if (state.priority >= 1 && state.priority <= 5 && state.priority != 3) {
        bool high = state.priority < 3;
        message.set_fixed(tags::importance, high ? importance_high : importance_low);
        message.set_fixed(tags::priority, uint32_t(high ? priority_urgent : priority_not_urgent));
    } else if (state.priority == 3) {
        message.set_fixed(tags::importance, importance_normal);
        message.set_fixed(tags::priority, uint32_t(priority_normal));
    }
}

}  // namespace item
