#include "item/identity.h"

#include <chrono>
#include <cstdlib>

#include "header/chars.h"
#include "header/fields.h"
#include "item/tags.h"
#include "mime/content.h"
#include "mime/transfer_decoding.h"
#include "platform/byte_layout.h"
#include "platform/digest.h"
#include "platform/text.h"

namespace item {

namespace {

constexpr uint32_t creation_time = 0x30070040, last_modification_time = 0x30080040,
                   search_key = 0x300B0102, sender_entry_id = 0x0C190102,
                   sender_search_key = 0x0C1D0102, sent_representing_entry_id = 0x00410102,
                   sent_representing_search_key = 0x003B0102, conversation_topic = 0x0070001F,
                   conversation_index = 0x00710102, message_codepage = 0x3FFD0003;

// The one-off provider's id, [MS-OXCDATA] 2.2.5.1; its flags: Unicode text, and no rich
// text (MAPI_ONE_OFF_UNICODE | MAPI_ONE_OFF_NO_RICH_INFO).
constexpr char one_off_provider[] =
    "\x81\x2B\x1F\xA4\xBE\xA3\x10\x19\x9D\x6E\x00\xDD\x01\x0F\x54\x02";
constexpr uint16_t one_off_flags = 0x8001;

// The bytes a value is stored as, handed to `take` in pieces.
void take_stored(uint32_t tag, const property_value* value, const piece_taker& take) {
    if (value != nullptr) stored_pieces(tag, *value, take);
}

std::string utf16_bytes(std::u16string_view text) {
    property_value value;
    value.text = text;
    std::string bytes;
    take_stored(type_unicode, &value, [&](std::string_view piece) {
        bytes += piece;
        return true;
    });
    return bytes;
}

// The 16 bytes of an MD5 given as hexadecimal text.
std::string md5_bytes(const std::string& hex) {
    std::string key;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        key.push_back(static_cast<char>(hdr_hex_digit(hex[i]) * 16 + hdr_hex_digit(hex[i + 1])));
    return key;
}

const property_value* find(const message& m, uint32_t tag) {
    auto found = m.properties.find(tag);
    return found == m.properties.end() ? nullptr : &found->second;
}

// An address's search key: its type, a colon, the address, in capitals, and a NUL
// ([MS-OXCDATA] 2.11.4 for mail users).
std::string address_search_key(std::u16string_view type, std::u16string_view address) {
    std::u16string key = std::u16string(type) + u":" + std::u16string(address);
    for (char16_t& c : key)
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    return platform::utf16_to_utf8(key) + '\0';
}

// The sender's entry id and search key, from the name, type and address the item holds.
void add_address_keys(message& m, uint32_t name_tag, uint32_t type_tag, uint32_t address_tag,
                      uint32_t entry_id_tag, uint32_t search_key_tag) {
    const property_value* type = find(m, type_tag);
    const property_value* address = find(m, address_tag);
    if (type == nullptr || address == nullptr || address->text.empty()) return;
    const property_value* name = find(m, name_tag);
    std::u16string_view shown = name != nullptr ? std::u16string_view(name->text) : address->text;
    m.properties[entry_id_tag].bytes = one_off_entry_id(shown, type->text, address->text);
    m.properties[search_key_tag].bytes = address_search_key(type->text, address->text);
}

// The header of a conversation index ([MS-OXOMSG] 2.2.1.3): a reserved 1, the time's FILETIME
// without its three low bytes, big-endian, and a GUID: here the MD5 of the topic, so that the
// messages of one topic are one conversation.
std::string conversation_header(uint64_t time, std::u16string_view topic) {
    std::string index(1, '\x01');
    for (int shift = 56; shift >= 24; shift -= 8) index.push_back(static_cast<char>(time >> shift));
    return index + md5_key({utf16_bytes(topic)});
}

// The conversation index the sender's mailer gave in a Thread-Index field (Outlook's do): a
// header block of 22 bytes and blocks of 5, one a reply; empty when there is none of that
// shape.
std::string sent_conversation_index(const message& m) {
    const property_value* header = find(m, tags::transport_message_headers);
    if (header == nullptr) return {};
    std::string text = platform::utf16_to_utf8(header->text), index;
    hdr_fields_walk(text.data(), text.data() + text.size(),
                    [&](const std::string& name, const std::string& value) {
                        if (index.empty() && mime::ascii_lower(name) == "thread-index")
                            index = mime::base64_decoded(value);
                    });
    bool shaped = index.size() >= 22 && (index.size() - 22) % 5 == 0 && index[0] == '\x01';
    return shaped ? index : std::string();
}

}  // namespace

std::string md5_key(std::initializer_list<std::string_view> pieces) {
    platform::digest_stream stream;
    for (std::string_view piece : pieces) stream.add(piece);
    return md5_bytes(stream.finish().md5);
}

std::string one_off_entry_id(std::u16string_view name, std::u16string_view address_type,
                             std::u16string_view address) {
    std::string id(4, '\0');  // flags
    id.append(one_off_provider, 16);
    platform::put_le(id, 0, 2);  // version
    platform::put_le(id, one_off_flags, 2);
    for (std::u16string_view text : {name, address_type, address}) {
        id += utf16_bytes(text);
        id.append(2, '\0');
    }
    return id;
}

std::u16string normalized_subject(std::u16string_view subject) {
    for (size_t colon = 1; colon <= 3 && colon + 1 < subject.size(); ++colon) {
        char16_t c = subject[colon - 1];
        if ((c >= u'0' && c <= u'9') || c == u' ' || c == u'\t') break;
        if (subject[colon] == u':' && subject[colon + 1] == u' ')
            return std::u16string(subject.substr(colon + 2));
    }
    return std::u16string(subject);
}

uint64_t run_filetime() {
    static const uint64_t time = [] {
        const char* fixed = std::getenv("SOURCE_DATE_EPOCH");
        char* end = nullptr;
        long long seconds = fixed != nullptr ? std::strtoll(fixed, &end, 10) : 0;
        constexpr long long latest = 253402300799;  // 9999-12-31 23:59:59 UTC
        if (fixed == nullptr || *fixed == '\0' || *end != '\0' || seconds < 0 || seconds > latest)
            seconds = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
        return platform::filetime_of(seconds);
    }();
    return time;
}

void add_identity(message& m, uint64_t undated_time) {
    const property_value* sent = find(m, tags::client_submit_time);
    uint64_t time = sent != nullptr ? sent->fixed : undated_time;
    m.properties[creation_time].fixed = time;
    m.properties[last_modification_time].fixed = time;

    // The search key: the same for every copy of the message, different for any other.
    platform::digest_stream stream;
    auto hash = [&](std::string_view piece) {
        stream.add(piece);
        return true;
    };
    take_stored(tags::transport_message_headers, find(m, tags::transport_message_headers), hash);
    const property_value* body = find(m, tags::body);
    if (body != nullptr && !body->text_utf8.empty()) {
        stream.add(body->text_utf8);  // as held: converting a long text costs more than it says
    } else {
        take_stored(tags::body, body, hash);
    }
    m.properties[search_key].bytes = md5_bytes(stream.finish().md5);

    add_address_keys(m, tags::sender_name, tags::sender_addrtype, tags::sender_email,
                     sender_entry_id, sender_search_key);
    add_address_keys(m, tags::sent_representing_name, tags::sent_representing_addrtype,
                     tags::sent_representing_email, sent_representing_entry_id,
                     sent_representing_search_key);

    const property_value* subject = find(m, tags::subject);
    std::u16string topic = normalized_subject(subject != nullptr ? subject->text : u"");
    std::string index = sent_conversation_index(m);
    m.properties[conversation_index].bytes =
        index.empty() ? conversation_header(time, topic) : std::move(index);
    if (!topic.empty()) m.properties[conversation_topic].text = std::move(topic);

    const property_value* cpid = find(m, tags::internet_cpid);
    m.properties[message_codepage].fixed = cpid != nullptr ? cpid->fixed : cpid_utf8;

    for (attachment& a : m.attachments)
        if (a.embedded) add_identity(*a.embedded, undated_time);
}

}  // namespace item
