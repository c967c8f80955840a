#pragma once
// The property tags and values the program's items carry, named once for the item builder
// and for every file that holds items.

#include <cstdint>

namespace item::tags {

// Of the message.
constexpr uint32_t importance = 0x00170003, priority = 0x00260003, message_class = 0x001A001F,
                   subject = 0x0037001F, client_submit_time = 0x00390040,
                   sent_representing_name = 0x0042001F, sent_representing_addrtype = 0x0064001F,
                   sent_representing_email = 0x0065001F, transport_message_headers = 0x007D001F,
                   sender_name = 0x0C1A001F, sender_addrtype = 0x0C1E001F,
                   sender_email = 0x0C1F001F, display_cc = 0x0E03001F, display_to = 0x0E04001F,
                   message_delivery_time = 0x0E060040, message_flags = 0x0E070003,
                   message_size = 0x0E080003, has_attach = 0x0E1B000B, body = 0x1000001F,
                   html = 0x10130102, internet_message_id = 0x1035001F,
                   store_support_mask = 0x340D0003, internet_cpid = 0x3FDE0003,
                   sender_smtp_address = 0x5D01001F, sent_representing_smtp_address = 0x5D02001F,
                   icon_index = 0x10800003, last_verb_executed = 0x10810003,
                   flag_status = 0x10900003;
// Of recipients.
constexpr uint32_t recipient_type = 0x0C150003, object_type = 0x0FFE0003, rowid = 0x30000003,
                   display_name = 0x3001001F, addrtype = 0x3002001F, email_address = 0x3003001F,
                   display_type = 0x39000003, smtp_address = 0x39FE001F;
// Of attachments.
constexpr uint32_t attach_size = 0x0E200003, attach_num = 0x0E210003, attach_data = 0x37010102,
                   attach_data_object = 0x3701000D, attach_extension = 0x3703001F,
                   attach_filename = 0x3704001F, attach_method = 0x37050003,
                   attach_long_filename = 0x3707001F, rendering_position = 0x370B0003,
                   attach_mime_tag = 0x370E001F, attach_content_id = 0x3712001F,
                   attach_disposition = 0x3716001F, attachment_hidden = 0x7FFE000B;

}  // namespace item::tags

namespace item {

// Values of the properties above.
constexpr uint32_t message_flag_read = 0x1, message_flag_unsent = 0x8,
                   message_flag_has_attach = 0x10;
constexpr uint32_t store_unicode_ok = 0x00040000;
constexpr uint32_t importance_low = 0, importance_normal = 1, importance_high = 2;
constexpr int32_t priority_not_urgent = -1, priority_normal = 0, priority_urgent = 1;
constexpr uint32_t verb_reply_to_sender = 0x66, verb_forward = 0x68;
constexpr uint32_t icon_replied = 0x105, icon_forwarded = 0x106;
constexpr uint32_t followup_flagged = 2;
constexpr int32_t recipient_to = 1, recipient_cc = 2, object_mail_user = 6, object_attachment = 7,
                  cpid_utf8 = 65001, attach_by_value = 1, attach_embedded_message = 5;

}  // namespace item
