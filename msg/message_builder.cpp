#include "msg/message_builder.h"

#include <cstdio>

#include "header/decode.h"
#include "header/summary.h"
#include "msg/address_list.h"
#include "msg/attachment_names.h"
#include "msg/html_text.h"
#include "msg/message_content.h"
#include "msg/property_set.h"
#include "platform/text.h"

namespace msg {

namespace {

// Property tags of the message.
constexpr uint32_t pr_importance = 0x00170003, pr_message_class = 0x001A001F,
                   pr_subject = 0x0037001F, pr_client_submit_time = 0x00390040,
                   pr_sent_representing_name = 0x0042001F,
                   pr_sent_representing_addrtype = 0x0064001F,
                   pr_sent_representing_email = 0x0065001F, pr_transport_headers = 0x007D001F,
                   pr_sender_name = 0x0C1A001F, pr_sender_addrtype = 0x0C1E001F,
                   pr_sender_email = 0x0C1F001F, pr_display_cc = 0x0E03001F,
                   pr_display_to = 0x0E04001F, pr_delivery_time = 0x0E060040,
                   pr_message_flags = 0x0E070003, pr_has_attach = 0x0E1B000B, pr_body = 0x1000001F,
                   pr_html = 0x10130102, pr_internet_message_id = 0x1035001F,
                   pr_store_support_mask = 0x340D0003, pr_internet_cpid = 0x3FDE0003,
                   pr_sender_smtp = 0x5D01001F, pr_sent_representing_smtp = 0x5D02001F;
// Of recipients.
constexpr uint32_t pr_recipient_type = 0x0C150003, pr_object_type = 0x0FFE0003,
                   pr_rowid = 0x30000003, pr_display_name = 0x3001001F, pr_addrtype = 0x3002001F,
                   pr_email_address = 0x3003001F, pr_display_type = 0x39000003,
                   pr_smtp_address = 0x39FE001F;
// Of attachments.
constexpr uint32_t pr_attach_size = 0x0E200003, pr_attach_num = 0x0E210003,
                   pr_attach_data = 0x37010102, pr_attach_data_object = 0x3701000D,
                   pr_attach_extension = 0x3703001F, pr_attach_filename = 0x3704001F,
                   pr_attach_method = 0x37050003, pr_attach_long_filename = 0x3707001F,
                   pr_rendering_position = 0x370B0003, pr_attach_mime_tag = 0x370E001F,
                   pr_attach_content_id = 0x3712001F, pr_attach_disposition = 0x3716001F,
                   pr_attachment_hidden = 0x7FFE000B;
constexpr uint32_t flag_read = 0x1, flag_unsent = 0x8, flag_has_attach = 0x10;
constexpr uint32_t store_unicode_ok = 0x00040000;
constexpr int32_t recipient_to = 1, recipient_cc = 2, object_mail_user = 6, object_attachment = 7,
                  cpid_utf8 = 65001, attach_by_value = 1, attach_embedded = 5;

// Seconds since 1970 as a FILETIME (100 ns units since 1601).
uint64_t filetime(int64_t seconds) {
    return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

std::u16string utf16(const std::string& utf8) {
    return platform::utf8_to_utf16(utf8);
}

const std::string& shown_name(const mailbox& box) {
    return box.name.empty() ? box.address : box.name;
}

std::u16string join_names(const std::vector<mailbox>& boxes) {
    std::u16string out;
    for (auto& box : boxes) {
        if (!out.empty()) out += u"; ";
        out += utf16(shown_name(box));
    }
    return out;
}

// What the header says: From, To, Subject and the date as the list and the file name take
// them (so the submit time is the time the saved file carries), and the first Cc and
// Message-ID.
struct header_facts {
    std::optional<std::string> from, to, cc, subject, message_id;
    std::optional<int64_t> date;
};

header_facts read_header(std::string_view header) {
    header_facts facts;
    std::string lines = header_lines(header);
    hdr_main_values main = hdr_main_fields(lines.c_str(), lines.c_str() + lines.size());
    facts.from = std::move(main[hdr_from]);
    facts.to = std::move(main[hdr_to]);
    facts.subject = std::move(main[hdr_subject]);
    facts.date = hdr_message_date(main);
    walk_header_fields(header, [&](const std::string& name, const std::string& value) {
        using platform::equal_ignoring_case;
        for (auto [field, slot] : {std::pair{"cc", &facts.cc}, {"message-id", &facts.message_id}}) {
            if (equal_ignoring_case(name, field) && !*slot) *slot = value;
        }
    });
    return facts;
}

class message_builder {
  public:
    message_builder(const message_target& target, const mime_part& message)
        : target_(target),
          message_(message),
          content_(sort_parts(message)),
          props_(target.file, target.storage, target.owned) {}

    void build(const message_facts& given) {
        header_facts facts = read_header(message_.header);
        std::optional<std::string> to = target_.embedded ? facts.to : given.to;
        std::optional<std::string> subject =
            target_.embedded || !given.subject ? facts.subject : given.subject;
        add_recipients(to, facts.cc);
        props_.string(pr_message_class, u"IPM.Note");
        if (subject) props_.string(pr_subject, keep(subject_text(message_, *subject)));
        add_header_facts(facts);
        add_bodies();
        add_attachments();
        uint32_t flags = given.sent ? flag_read : flag_read | flag_unsent;
        if (!content_.attachments.empty()) flags |= flag_has_attach;
        props_.fixed(pr_message_flags, flags);
        props_.fixed(pr_importance, 1);
        props_.fixed(pr_has_attach, content_.attachments.empty() ? 0 : 1);
        props_.fixed(pr_internet_cpid, cpid_utf8);
        props_.fixed(pr_store_support_mask, store_unicode_ok);
        finish();
    }

  private:
    const std::u16string& keep(std::u16string text) {
        return target_.keep.emplace_back(std::move(text));
    }
    std::string_view own(std::string bytes) { return target_.owned.emplace_back(std::move(bytes)); }

    void add_recipients(const std::optional<std::string>& to,
                        const std::optional<std::string>& cc) {
        std::vector<mailbox> to_boxes = to ? parse_address_list(*to) : std::vector<mailbox>();
        std::vector<mailbox> cc_boxes = cc ? parse_address_list(*cc) : std::vector<mailbox>();
        for (const mailbox& box : to_boxes) add_recipient(box, recipient_to);
        for (const mailbox& box : cc_boxes) add_recipient(box, recipient_cc);
        props_.string(pr_display_to, keep(join_names(to_boxes)));
        props_.string(pr_display_cc, keep(join_names(cc_boxes)));
    }

    void add_recipient(const mailbox& box, int32_t type) {
        char name[40];
        std::snprintf(name, sizeof name, "__recip_version1.0_#%08X", recipients_);
        property_set props(target_.file, target_.file.add_storage(target_.storage, ascii(name)),
                           target_.owned);
        props.fixed(pr_recipient_type, static_cast<uint32_t>(type));
        props.fixed(pr_rowid, recipients_);
        props.fixed(pr_object_type, object_mail_user);
        props.fixed(pr_display_type, 0);
        props.string(pr_display_name, keep(utf16(shown_name(box))));
        if (!box.address.empty()) {
            const std::u16string& address = keep(utf16(box.address));
            props.string(pr_smtp_address, address);
            props.string(pr_email_address, address);
            props.string(pr_addrtype, u"SMTP");
        }
        props.finish(std::string(8, '\0'));
        ++recipients_;
    }

    void add_sender(const mailbox& sender) {
        const std::u16string& name = keep(utf16(shown_name(sender)));
        props_.string(pr_sender_name, name);
        props_.string(pr_sent_representing_name, name);
        if (sender.address.empty()) return;
        const std::u16string& address = keep(utf16(sender.address));
        for (uint32_t tag : {pr_sender_email, pr_sender_smtp, pr_sent_representing_email,
                             pr_sent_representing_smtp}) {
            props_.string(tag, address);
        }
        props_.string(pr_sender_addrtype, u"SMTP");
        props_.string(pr_sent_representing_addrtype, u"SMTP");
    }

    // Sender, dates, header block and message id.
    void add_header_facts(const header_facts& facts) {
        props_.string(pr_transport_headers, keep(platform::ansi_to_utf16(message_.header)));
        if (facts.from) {
            auto boxes = parse_address_list(*facts.from);
            if (!boxes.empty()) add_sender(boxes.front());
        }
        if (facts.date && *facts.date > -11644473600LL) {
            props_.fixed(pr_client_submit_time, filetime(*facts.date));
            props_.fixed(pr_delivery_time, filetime(*facts.date));
        }
        if (facts.message_id) {
            props_.string(pr_internet_message_id, keep(platform::ansi_to_utf16(*facts.message_id)));
        }
    }

    // The plain body from the first plain-text part, or made from the HTML when there is
    // none; the HTML as UTF-8 (the message's code page says so).
    void add_bodies() {
        std::string html;
        if (content_.html) html = part_text_utf8(*content_.html);
        if (content_.text) {
            props_.string(pr_body, keep(part_text_utf16(*content_.text)));
        } else if (!html.empty()) {
            props_.string(pr_body, keep(utf16(html_to_text(html))));
        }
        lowered_html_ = ascii_lower(html);
        props_.binary(pr_html, own(std::move(html)));
    }

    void add_attachments() {
        for (const mime_part* part : content_.attachments) add_attachment(*part);
    }

    void add_attachment(const mime_part& part) {
        char name[40];
        std::snprintf(name, sizeof name, "__attach_version1.0_#%08X", attachments_);
        property_set props(target_.file, target_.file.add_storage(target_.storage, ascii(name)),
                           target_.owned);
        props.fixed(pr_attach_num, attachments_);
        props.fixed(pr_rendering_position, 0xFFFFFFFF);
        props.fixed(pr_object_type, object_attachment);
        props.string(pr_attach_mime_tag,
                     keep(utf16(part.unreadable ? "application/octet-stream" : part.type)));
        if (part.kind == mime_part::shape::message) {
            add_embedded(props, part);
        } else {
            add_file(props, part);
        }
        props.finish(std::string(8, '\0'));
        ++attachments_;
    }

    void add_file(property_set& props, const mime_part& part) {
        std::string storage;
        std::string_view data = decoded_body(part, storage);
        if (!storage.empty()) data = own(std::move(storage));
        props.fixed(pr_attach_method, attach_by_value);
        props.fixed(pr_attach_size, data.size());
        props.binary(pr_attach_data, data);
        attachment_names names = name_attachment(part, attachments_);
        const std::u16string& long_name = keep(utf16(names.long_name));
        props.string(pr_attach_long_filename, long_name);
        props.string(pr_display_name, long_name);
        props.string(pr_attach_filename, keep(utf16(names.short_name)));
        props.string(pr_attach_extension, keep(utf16(names.extension)));
        props.string(pr_attach_content_id, keep(utf16(hdr_raw_to_utf8(part.content_id))));
        bool hidden = html_refers_to(lowered_html_, part.content_id);
        if (hidden) props.fixed(pr_attachment_hidden, 1);
        std::string disposition = !part.disposition.empty() ? part.disposition
                                  : hidden                  ? "inline"
                                                            : "attachment";
        props.string(pr_attach_disposition, keep(utf16(disposition)));
    }

    // The enclosed message goes into a storage of its own, built the same way.
    void add_embedded(property_set& props, const mime_part& part) {
        const mime_part& enclosed = part.parts.front();
        props.fixed(pr_attach_method, attach_embedded);
        props.fixed(pr_attach_size, part.body.size());
        header_facts facts = read_header(enclosed.header);
        std::string title = facts.subject ? hdr_decode_text(*facts.subject) : std::string();
        props.string(pr_display_name, keep(utf16(title.empty() ? "Message" : title)));
        int storage = props.object(pr_attach_data_object);
        message_target inner{target_.file, storage, target_.owned, target_.keep, true};
        build_message(inner, enclosed, message_facts{});
    }

    // The property stream's header: an embedded message's carries no reserved tail.
    void finish() {
        std::string header(8, '\0');
        put_le(header, recipients_, 4);   // next recipient id
        put_le(header, attachments_, 4);  // next attachment id
        put_le(header, recipients_, 4);
        put_le(header, attachments_, 4);
        if (!target_.embedded) header.append(8, '\0');
        props_.finish(std::move(header));
    }

    const message_target& target_;
    const mime_part& message_;
    message_content content_;
    property_set props_;
    std::string lowered_html_;
    uint32_t recipients_ = 0, attachments_ = 0;
};

}  // namespace

void build_message(const message_target& target, const mime_part& message,
                   const message_facts& facts) {
    message_builder(target, message).build(facts);
}

}  // namespace msg
