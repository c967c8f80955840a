#include "item/builder.h"

#include <cstdint>

#include "header/decode.h"
#include "item/tags.h"
#include "mime/address_list.h"
#include "mime/attachment_names.h"
#include "mime/content.h"
#include "mime/html_text.h"
#include "platform/byte_layout.h"
#include "platform/text.h"

namespace item {

using namespace mime;

namespace {

// What is known of the message besides its parts: the caller gives the receivers and the
// subject as raw header bytes; an enclosed message reads its own.
struct message_facts {
    std::optional<std::string> to, subject;
    bool sent = true;
};

// Text as an item holds it: NUL characters are dropped, since the readers of message files
// take one for the end of the text, but nothing after them is lost.
std::u16string utf16(std::string_view utf8) {
    std::u16string text = platform::utf8_text_to_utf16(utf8);
    std::erase(text, u'\0');
    return text;
}

std::string& drop_nul(std::string& text) {
    std::erase(text, '\0');
    return text;
}

// Header bytes as the ANSI code page reads them, as a text value.
std::u16string ansi_text(std::string_view bytes) {
    std::u16string text = platform::ansi_bytes_to_utf16(bytes);
    std::erase(text, u'\0');
    return text;
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

// Strings go in only when not empty: an empty string stream makes some readers refuse a
// .msg file, and a property that says nothing is better left out of any container.
void set_text(property_map& properties, uint32_t tag, std::u16string text) {
    if (!text.empty()) properties[tag].text = std::move(text);
}

void set_fixed(property_map& properties, uint32_t tag, uint64_t value) {
    properties[tag].fixed = value;
}

class item_builder {
  public:
    item_builder(const mime_part& message, bool embedded, std::string_view text)
        : message_(message),
          content_(sort_parts(message)),
          charset_(message_charset(message)),
          embedded_(embedded),
          text_(text) {}

    message build(const message_facts& given) {
        header_facts facts = read_header_facts(message_.header);
        std::optional<std::string> to = embedded_ ? facts.to : given.to;
        std::optional<std::string> subject =
            embedded_ || !given.subject ? facts.subject : given.subject;
        add_recipients(to, facts.cc);
        set_text(item_.properties, tags::message_class, u"IPM.Note");
        if (subject) text(tags::subject, utf16(subject_text(message_, *subject)));
        add_header_facts(facts);
        add_bodies();
        add_attachments();
        uint32_t flags = given.sent ? message_flag_read : message_flag_read | message_flag_unsent;
        if (!content_.attachments.empty()) flags |= message_flag_has_attach;
        fixed(tags::message_flags, flags);
        fixed(tags::importance, 1);
        fixed(tags::has_attach, content_.attachments.empty() ? 0 : 1);
        fixed(tags::internet_cpid, code_page_);
        fixed(tags::store_support_mask, store_unicode_ok);
        return std::move(item_);
    }

  private:
    void text(uint32_t tag, std::u16string value) {
        set_text(item_.properties, tag, std::move(value));
    }
    void fixed(uint32_t tag, uint64_t value) { set_fixed(item_.properties, tag, value); }

    // An address field's mailboxes, its folds read with their blanks, names that are raw
    // bytes read in the message's charset.
    std::vector<mailbox> addresses(const char* field, const std::string& value) const {
        return parse_address_list(field_as_written(message_, field, value),
                                  hdr_reading{true, charset_});
    }

    void add_recipients(const std::optional<std::string>& to,
                        const std::optional<std::string>& cc) {
        std::vector<mailbox> to_boxes = to ? addresses("to", *to) : std::vector<mailbox>();
        std::vector<mailbox> cc_boxes = cc ? addresses("cc", *cc) : std::vector<mailbox>();
        for (const mailbox& box : to_boxes) add_recipient(box, recipient_to);
        for (const mailbox& box : cc_boxes) add_recipient(box, recipient_cc);
        text(tags::display_to, join_names(to_boxes));
        text(tags::display_cc, join_names(cc_boxes));
    }

    void add_recipient(const mailbox& box, int32_t type) {
        property_map& props = item_.recipients.emplace_back();
        set_fixed(props, tags::recipient_type, static_cast<uint32_t>(type));
        set_fixed(props, tags::rowid, item_.recipients.size() - 1);
        set_fixed(props, tags::object_type, object_mail_user);
        set_fixed(props, tags::display_type, 0);
        set_text(props, tags::display_name, utf16(shown_name(box)));
        if (!box.address.empty()) {
            std::u16string address = utf16(box.address);
            set_text(props, tags::smtp_address, address);
            set_text(props, tags::email_address, std::move(address));
            set_text(props, tags::addrtype, u"SMTP");
        }
    }

    void add_sender(const mailbox& sender) {
        std::u16string name = utf16(shown_name(sender));
        text(tags::sender_name, name);
        text(tags::sent_representing_name, std::move(name));
        if (sender.address.empty()) return;
        std::u16string address = utf16(sender.address);
        for (uint32_t tag : {tags::sender_email, tags::sender_smtp_address,
                             tags::sent_representing_email, tags::sent_representing_smtp_address}) {
            text(tag, address);
        }
        text(tags::sender_addrtype, u"SMTP");
        text(tags::sent_representing_addrtype, u"SMTP");
    }

    // Sender, dates, the header as stored and the message id.
    void add_header_facts(const header_facts& facts) {
        text(tags::transport_message_headers, ansi_text(message_.header));
        if (facts.from) {
            auto boxes = addresses("from", *facts.from);
            if (!boxes.empty()) add_sender(boxes.front());
        }
        if (facts.date && *facts.date > -platform::filetime_epoch_offset) {
            fixed(tags::client_submit_time, platform::filetime_of(*facts.date));
            fixed(tags::message_delivery_time, platform::filetime_of(*facts.date));
        }
        if (facts.message_id) text(tags::internet_message_id, ansi_text(*facts.message_id));
    }

    // The plain body from the first plain-text part, or made from the HTML when there is
    // none; the HTML in its own charset where it can be kept so, as UTF-8 otherwise (the
    // message's code page says which). The body is held as UTF-8: it may be as large as the
    // message.
    void add_bodies() {
        item_html html;
        if (content_.html) {
            html = html_for_item(*content_.html);
            code_page_ = html.code_page;
        }
        if (html.written && !within_text(*html.written)) html.bytes = std::string(*html.written);
        if (html.written && within_text(*html.written)) {
            html_ = *html.written;
        } else {
            html_ = html.bytes;
        }
        std::string body;
        if (content_.text) {
            drop_nul(body = part_text_utf8(*content_.text));
        } else if (!html_.empty()) {
            drop_nul(body = html_to_text(html_utf8(html_, html.charset)));
        }
        if (!body.empty()) item_.properties[tags::body].text_utf8 = std::move(body);
        if (html_.empty()) return;
        property_value& value = item_.properties[tags::html];
        if (html_.data() != html.bytes.data()) {
            value.viewed = html_;  // the message text's own bytes: no copy of them
        } else {
            html_ = value.bytes = std::move(html.bytes);
        }
    }

    // HTML kept in its charset as UTF-8, for the plain body made from it.
    static std::string html_utf8(std::string_view html, const std::string& charset) {
        if (platform::equal_ignoring_case(charset, "utf-8") && platform::valid_utf8(html))
            return std::string(html);
        return hdr_charset_to_utf8(charset, html, hdr_reading{true, {}});
    }

    // Whether `bytes` lie in the message text the item may view.
    bool within_text(std::string_view bytes) const {
        auto at = reinterpret_cast<uintptr_t>(bytes.data());
        auto start = reinterpret_cast<uintptr_t>(text_.data());
        return !text_.empty() && at >= start && at + bytes.size() <= start + text_.size();
    }

    void add_attachments() {
        for (const mime_part* part : content_.attachments) add_attachment(*part);
    }

    void add_attachment(const mime_part& part) {
        attachment& attachment = item_.attachments.emplace_back();
        property_map& props = attachment.properties;
        set_fixed(props, tags::attach_num, item_.attachments.size() - 1);
        set_fixed(props, tags::rendering_position, 0xFFFFFFFF);
        set_fixed(props, tags::object_type, object_attachment);
        set_text(props, tags::attach_mime_tag,
                 utf16(part.unreadable ? "application/octet-stream" : part.type));
        if (part.kind == mime_part::shape::message) {
            add_embedded(attachment, part);
        } else {
            add_file(props, part);
        }
    }

    // The data goes in even when empty: an attachment of no bytes still has its data.
    void add_file(property_map& props, const mime_part& part) {
        std::string storage;
        std::string_view data = decoded_body(part, storage);
        set_fixed(props, tags::attach_method, attach_by_value);
        set_fixed(props, tags::attach_size, data.size());
        props[tags::attach_data].bytes = storage.empty() ? std::string(data) : std::move(storage);
        attachment_names names = name_attachment(part, item_.attachments.size() - 1);
        std::u16string long_name = utf16(names.long_name);
        set_text(props, tags::attach_long_filename, long_name);
        set_text(props, tags::display_name, std::move(long_name));
        set_text(props, tags::attach_filename, utf16(names.short_name));
        set_text(props, tags::attach_extension, utf16(names.extension));
        set_text(props, tags::attach_content_id, utf16(hdr_raw_to_utf8(part.content_id)));
        bool hidden = html_refers_to(html_, part.content_id);
        if (hidden) set_fixed(props, tags::attachment_hidden, 1);
        std::string disposition = !part.disposition.empty() ? part.disposition
                                  : hidden                  ? "inline"
                                                            : "attachment";
        set_text(props, tags::attach_disposition, utf16(disposition));
    }

    // The enclosed message becomes an item of its own, built the same way.
    void add_embedded(attachment& attachment, const mime_part& part) {
        const mime_part& enclosed = part.parts.front();
        property_map& props = attachment.properties;
        set_fixed(props, tags::attach_method, attach_embedded_message);
        set_fixed(props, tags::attach_size, part.body.size());
        attachment.embedded =
            std::make_unique<message>(item_builder(enclosed, true, text_).build(message_facts{}));
        // Its title is its subject, as the item reads it.
        auto subject = attachment.embedded->properties.find(tags::subject);
        bool titled = subject != attachment.embedded->properties.end();
        set_text(props, tags::display_name, titled ? subject->second.text : u"Message");
    }

    const mime_part& message_;
    message_content content_;
    std::string charset_;  // the charset raw header bytes are read in; empty: none
    bool embedded_;
    std::string_view text_;           // the message text the item may view
    std::string_view html_;           // the item's HTML
    unsigned code_page_ = cpid_utf8;  // the code page of the item's HTML
    message item_;
};

}  // namespace

message build_item(std::string_view bytes, const std::optional<std::string>& to,
                   const std::optional<std::string>& subject, bool sent) {
    mime_part parts = read_mime_message(bytes);
    return item_builder(parts, false, bytes).build(message_facts{to, subject, sent});
}

}  // namespace item
