#include "msg/message.h"

#include <bit>
#include <cstdio>
#include <deque>
#include <map>

#include "header/date.h"
#include "header/decode.h"
#include "header/fields.h"
#include "msg/address_list.h"
#include "platform/text.h"

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

// The writer hands over message bytes read through the ANSI code page, and the header
// grammar works on those bytes, so they are taken back. A string with characters the code
// page lacks did not come that way and is read as UTF-8.
std::string message_bytes(std::u16string_view text) {
    std::string bytes = platform::utf16_to_ansi(text);
    if (platform::ansi_to_utf16(bytes) == text) return bytes;
    return platform::utf16_to_utf8(text);
}

std::string message_bytes(const std::optional<std::u16string>& text) {
    return text ? message_bytes(std::u16string_view(*text)) : std::string();
}

// The header of a message text: up to and with its blank line (or its first NUL), which
// is all the header reading needs; the body may be hundreds of megabytes.
std::u16string_view header_part(std::u16string_view text) {
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == u'\0') return text.substr(0, at);
        if (text[at] != u'\n') continue;
        if (text.substr(at + 1, 1) == u"\n") return text.substr(0, at + 2);
        if (text.substr(at + 1, 2) == u"\r\n") return text.substr(0, at + 3);
    }
    return text;
}

void add_recipient(compound_file& file, std::deque<std::string>& owned,
                   std::deque<std::u16string>& keep, const mailbox& box, int index) {
    char name[40];
    std::snprintf(name, sizeof name, "__recip_version1.0_#%08X", static_cast<unsigned>(index));
    property_set props(file, file.add_storage(compound_file::root, ascii(name)), owned);
    props.fixed(pr_recipient_type, recipient_to);
    props.fixed(pr_rowid, static_cast<uint32_t>(index));
    props.fixed(pr_object_type, object_mail_user);
    props.fixed(pr_display_type, 0);
    props.string(pr_display_name, keep.emplace_back(utf16(shown_name(box))));
    if (!box.address.empty()) {
        const std::u16string& address = keep.emplace_back(utf16(box.address));
        props.string(pr_smtp_address, address);
        props.string(pr_email_address, address);
        props.string(pr_addrtype, u"SMTP");
    }
    props.finish(std::string(8, '\0'));
}

// What the header says about the sender, the date and the message id, read as the message
// list reads it: the first From and Message-ID, and the last Date that parses (so the
// submit time is the time the saved file carries).
struct header_facts {
    std::optional<std::string> from, message_id;
    std::optional<int64_t> date;
    size_t header_size = 0;  // the header lines, the last line end included
};

header_facts read_header(const std::string& text) {
    header_facts facts;
    const char* start = text.c_str();
    const char* stop = hdr_fields_walk(
        start, start + text.size(), [&](const std::string& name, const std::string& value) {
            if (platform::equal_ignoring_case(name, "from") && !facts.from) facts.from = value;
            if (platform::equal_ignoring_case(name, "message-id") && !facts.message_id) {
                facts.message_id = value;
            }
            if (platform::equal_ignoring_case(name, "date")) {
                if (auto seconds = hdr_date_value(value)) facts.date = seconds;
            }
        });
    facts.header_size = static_cast<size_t>(stop - start);
    return facts;
}

void add_sender(property_set& props, const mailbox& sender, std::deque<std::u16string>& keep) {
    const std::u16string& name = keep.emplace_back(utf16(shown_name(sender)));
    props.string(pr_sender_name, name);
    props.string(pr_sent_representing_name, name);
    if (sender.address.empty()) return;
    const std::u16string& address = keep.emplace_back(utf16(sender.address));
    for (uint32_t tag :
         {pr_sender_email, pr_sender_smtp, pr_sent_representing_email, pr_sent_representing_smtp}) {
        props.string(tag, address);
    }
    props.string(pr_sender_addrtype, u"SMTP");
    props.string(pr_sent_representing_addrtype, u"SMTP");
}

// Sender, dates, header block and message id from the message text.
void add_text_properties(property_set& props, const std::string& text,
                         std::deque<std::u16string>& keep) {
    header_facts facts = read_header(text);
    props.string(pr_transport_headers,
                 keep.emplace_back(platform::ansi_to_utf16(text.substr(0, facts.header_size))));
    if (facts.from) {
        auto boxes = parse_address_list(*facts.from);
        if (!boxes.empty()) add_sender(props, boxes.front(), keep);
    }
    if (facts.date && *facts.date > -11644473600LL) {
        props.fixed(pr_client_submit_time, filetime(*facts.date));
        props.fixed(pr_delivery_time, filetime(*facts.date));
    }
    if (facts.message_id) {
        props.string(pr_internet_message_id,
                     keep.emplace_back(platform::ansi_to_utf16(*facts.message_id)));
    }
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
        item.to ? parse_address_list(message_bytes(item.to)) : std::vector<mailbox>();
    for (size_t i = 0; i < recipients.size(); ++i) {
        add_recipient(file, owned, keep, recipients[i], static_cast<int>(i));
    }

    property_set props(file, compound_file::root, owned);
    props.string(pr_message_class, u"IPM.Note");
    if (item.subject) {
        props.string(pr_subject,
                     keep.emplace_back(utf16(hdr_decode_text(message_bytes(item.subject)))));
    }
    const std::u16string& display_to = keep.emplace_back(join_names(recipients));
    props.string(pr_display_to, display_to);
    if (item.text) {
        props.string(pr_body, *item.text);
        add_text_properties(props, message_bytes(header_part(*item.text)), keep);
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
