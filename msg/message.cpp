#include "msg/message.h"

#include <bit>
#include <cstdio>
#include <deque>
#include <map>

#include "msg/mail_text.h"

namespace msg {

namespace {

// Property types and tags.
constexpr uint16_t type_unicode = 0x001F;
constexpr uint32_t pr_importance = 0x00170003, pr_message_class = 0x001A001F,
                   pr_subject = 0x0037001F, pr_client_submit_time = 0x00390040,
                   pr_sent_representing_name = 0x0042001F,
                   pr_sent_representing_addrtype = 0x0064001F,
                   pr_sent_representing_email = 0x0065001F, pr_transport_headers = 0x007D001F,
                   pr_sender_name = 0x0C1A001F, pr_sender_addrtype = 0x0C1E001F,
                   pr_sender_email = 0x0C1F001F, pr_display_to = 0x0E04001F,
                   pr_delivery_time = 0x0E060040, pr_message_flags = 0x0E070003,
                   pr_has_attach = 0x0E1B000B, pr_body = 0x1000001F,
                   pr_internet_message_id = 0x1035001F, pr_store_support_mask = 0x340D0003,
                   pr_internet_cpid = 0x3FDE0003, pr_sender_smtp = 0x5D01001F,
                   pr_sent_representing_smtp = 0x5D02001F;
constexpr uint32_t pr_recipient_type = 0x0C150003, pr_object_type = 0x0FFE0003,
                   pr_rowid = 0x30000003, pr_display_name = 0x3001001F, pr_addrtype = 0x3002001F,
                   pr_email_address = 0x3003001F, pr_display_type = 0x39000003,
                   pr_smtp_address = 0x39FE001F;
constexpr uint32_t flag_read = 0x1, flag_unsent = 0x8;
constexpr uint32_t store_unicode_ok = 0x00040000;
constexpr int32_t recipient_to = 1, object_mail_user = 6, cpid_utf8 = 65001;

const compound_file::clsid mail_message_clsid = {0x0B, 0x0D, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

std::u16string ascii(const char* s) {
    return std::u16string(s, s + std::char_traits<char>::length(s));
}

std::u16string substg_name(uint32_t tag) {
    char name[24];
    std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
    return ascii(name);
}

void put_le(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

// Seconds since 1970 as a FILETIME (100 ns units since 1601).
uint64_t filetime(int64_t seconds) {
    return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

// The properties of one object (the message or a recipient): fixed values go into its
// property stream, strings into streams of their own. Bytes stay alive in `owned_`.
class property_set {
  public:
    property_set(compound_file& file, int storage, std::deque<std::string>& owned)
        : file_(file), storage_(storage), owned_(owned) {}

    void fixed(uint32_t tag, uint64_t value) { values_[tag] = value; }

    void string(uint32_t tag, std::u16string_view text) {
        if (text.empty()) return;  // an empty string stream makes some readers refuse the file
        std::string_view bytes;
        if constexpr (std::endian::native == std::endian::little) {
            bytes = {reinterpret_cast<const char*>(text.data()), text.size() * 2};
        } else {
            std::string& copy = owned_.emplace_back();
            for (char16_t c : text) put_le(copy, c, 2);
            bytes = copy;
        }
        file_.add_stream(storage_, substg_name(tag), bytes);
        values_[tag] = bytes.size() + 2;  // the size counts a terminator the stream leaves out
    }

    // The property stream, after `header` (the counts the object's kind carries).
    void finish(std::string header) {
        for (auto [tag, value] : values_) {
            put_le(header, tag, 4);
            put_le(header, 0x00000006, 4);  // readable, writable
            if ((tag & 0xFFFF) == type_unicode) {
                put_le(header, value, 4);
                put_le(header, 0, 4);
            } else {
                put_le(header, value, 8);
            }
        }
        owned_.push_back(std::move(header));
        file_.add_stream(storage_, u"__properties_version1.0", owned_.back());
    }

  private:
    compound_file& file_;
    int storage_;
    std::deque<std::string>& owned_;
    std::map<uint32_t, uint64_t> values_;  // ordered by tag, so the output never varies
};

std::u16string join_names(const std::vector<mailbox>& boxes) {
    std::u16string out;
    for (auto& box : boxes) {
        if (!out.empty()) out += u"; ";
        out += box.name.empty() ? box.address : box.name;
    }
    return out;
}

void add_recipient(compound_file& file, std::deque<std::string>& owned, const mailbox& box,
                   int index) {
    char name[40];
    std::snprintf(name, sizeof name, "__recip_version1.0_#%08X", static_cast<unsigned>(index));
    property_set props(file, file.add_storage(compound_file::root, ascii(name)), owned);
    props.fixed(pr_recipient_type, recipient_to);
    props.fixed(pr_rowid, static_cast<uint32_t>(index));
    props.fixed(pr_object_type, object_mail_user);
    props.fixed(pr_display_type, 0);
    props.string(pr_display_name, box.name.empty() ? box.address : box.name);
    if (!box.address.empty()) {
        props.string(pr_smtp_address, box.address);
        props.string(pr_email_address, box.address);
        props.string(pr_addrtype, u"SMTP");
    }
    props.finish(std::string(8, '\0'));
}

// Sender, dates, header block and message id from the message text.
void add_text_properties(property_set& props, std::u16string_view text,
                         std::deque<std::u16string>& keep) {
    std::u16string_view block = header_block(text);
    props.string(pr_transport_headers, block);
    if (auto from = header_field(block, u"From")) {
        auto boxes = parse_address_list(*from);
        if (!boxes.empty()) {
            const mailbox& sender = boxes.front();
            const std::u16string& name =
                keep.emplace_back(sender.name.empty() ? sender.address : sender.name);
            const std::u16string& address = keep.emplace_back(sender.address);
            props.string(pr_sender_name, name);
            props.string(pr_sent_representing_name, name);
            if (!address.empty()) {
                for (uint32_t tag : {pr_sender_email, pr_sender_smtp, pr_sent_representing_email,
                                     pr_sent_representing_smtp}) {
                    props.string(tag, address);
                }
                props.string(pr_sender_addrtype, u"SMTP");
                props.string(pr_sent_representing_addrtype, u"SMTP");
            }
        }
    }
    if (auto date = header_field(block, u"Date")) {
        if (auto seconds = parse_date(*date); seconds && *seconds > -11644473600LL) {
            props.fixed(pr_client_submit_time, filetime(*seconds));
            props.fixed(pr_delivery_time, filetime(*seconds));
        }
    }
    if (auto id = header_field(block, u"Message-ID"))
        props.string(pr_internet_message_id, keep.emplace_back(*id));
}

}  // namespace

bool write_message(const message_item& item, const byte_sink& sink) {
    compound_file file;
    file.set_clsid(compound_file::root, mail_message_clsid);
    std::deque<std::string> owned;
    std::deque<std::u16string> keep;

    int nameid = file.add_storage(compound_file::root, u"__nameid_version1.0");
    for (const char* stream :
         {"__substg1.0_00020102", "__substg1.0_00030102", "__substg1.0_00040102"}) {
        file.add_stream(nameid, ascii(stream), {});
    }

    std::vector<mailbox> recipients =
        item.to ? parse_address_list(*item.to) : std::vector<mailbox>();
    for (size_t i = 0; i < recipients.size(); ++i) {
        add_recipient(file, owned, recipients[i], static_cast<int>(i));
    }

    property_set props(file, compound_file::root, owned);
    props.string(pr_message_class, u"IPM.Note");
    if (item.subject) props.string(pr_subject, *item.subject);
    const std::u16string& display_to = keep.emplace_back(join_names(recipients));
    props.string(pr_display_to, display_to);
    if (item.text) {
        props.string(pr_body, *item.text);
        add_text_properties(props, *item.text, keep);
    }
    props.fixed(pr_message_flags, item.sent ? flag_read : flag_read | flag_unsent);
    props.fixed(pr_importance, 1);
    props.fixed(pr_has_attach, 0);
    props.fixed(pr_internet_cpid, cpid_utf8);
    props.fixed(pr_store_support_mask, store_unicode_ok);

    std::string header(8, '\0');
    put_le(header, recipients.size(), 4);  // next recipient id
    put_le(header, 0, 4);                  // next attachment id
    put_le(header, recipients.size(), 4);  // recipients
    put_le(header, 0, 4);                  // attachments
    header.append(8, '\0');
    props.finish(std::move(header));
    return file.write(sink);
}

}  // namespace msg
