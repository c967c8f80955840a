#include "msg/property_set.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "item/tags.h"
#include "platform/byte_layout.h"

namespace msg {

using platform::put_le;

namespace {

// Streams are laid out in this order, the others after them by tag: the order the program
// has always written them in, so the same message still makes the same file. (A storage
// sorts its entries by name anyway; only where the bytes lie follows this order.)
constexpr uint32_t stream_order[] = {
    item::tags::attach_mime_tag,
    item::tags::attach_data,
    item::tags::attach_long_filename,
    item::tags::display_name,
    item::tags::smtp_address,
    item::tags::email_address,
    item::tags::addrtype,
    item::tags::attach_data_object,
    item::tags::attach_filename,
    item::tags::attach_extension,
    item::tags::attach_content_id,
    item::tags::attach_disposition,
    item::tags::display_to,
    item::tags::display_cc,
    item::tags::message_class,
    item::tags::subject,
    item::tags::transport_message_headers,
    item::tags::sender_name,
    item::tags::sent_representing_name,
    item::tags::sender_email,
    item::tags::sender_smtp_address,
    item::tags::sent_representing_email,
    item::tags::sent_representing_smtp_address,
    item::tags::sender_addrtype,
    item::tags::sent_representing_addrtype,
    item::tags::internet_message_id,
    item::tags::body,
    item::tags::html,
};

size_t stream_rank(uint32_t tag) {
    auto at = std::find(std::begin(stream_order), std::end(stream_order), tag);
    return static_cast<size_t>(at - std::begin(stream_order));
}

std::u16string numbered(const char* format, size_t number) {
    char name[40];
    std::snprintf(name, sizeof name, format, static_cast<unsigned>(number));
    return ascii(name);
}

std::u16string substg_name(uint32_t tag) {
    return numbered("__substg1.0_%08X", tag);
}

// The properties of one object: the message, a recipient or an attachment.
class object_writer {
  public:
    object_writer(compound_file& file, int storage, std::deque<std::string>& owned)
        : file_(file), storage_(storage), owned_(owned) {}

    // An attached message goes in at its place among the streams.
    void values(const item::property_map& properties, const item::message* attached) {
        std::vector<uint32_t> streamed;
        for (auto& [tag, value] : properties) {
            uint16_t type = item::property_type(tag);
            if (type == item::type_unicode || type == item::type_binary) {
                streamed.push_back(tag);
            } else if (type != item::type_object) {
                values_[tag] = value.fixed;
            }
        }
        if (attached) streamed.push_back(item::tags::attach_data_object);
        std::stable_sort(streamed.begin(), streamed.end(),
                         [](uint32_t a, uint32_t b) { return stream_rank(a) < stream_rank(b); });
        for (uint32_t tag : streamed) {
            if (tag == item::tags::attach_data_object) {
                object(tag, *attached);
            } else if (item::property_type(tag) == item::type_unicode) {
                text(tag, properties.at(tag));
            } else {
                binary(tag, properties.at(tag));
            }
        }
    }

    // The property stream, after `header` (the counts the object's kind carries).
    void finish(std::string header) {
        for (auto [tag, value] : values_) {
            uint16_t type = item::property_type(tag);
            put_le(header, tag, 4);
            put_le(header, 0x00000006, 4);  // readable, writable
            if (type == item::type_unicode || type == item::type_binary ||
                type == item::type_object) {
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
    // An empty string is left out: an empty string stream makes some readers refuse the file.
    void text(uint32_t tag, const item::property_value& value) {
        uint64_t size = item::stored_size(tag, value);
        if (size == 0) return;
        stream(tag, value, size);
        values_[tag] = size + 2;  // the size counts a terminator the stream leaves out
    }

    void binary(uint32_t tag, const item::property_value& value) {
        uint64_t size = item::stored_size(tag, value);
        stream(tag, value, size);
        values_[tag] = size;
    }

    // The stream is made from the value while the file is written.
    void stream(uint32_t tag, const item::property_value& value, uint64_t size) {
        file_.add_stream(storage_, substg_name(tag), size, [tag, &value](const byte_sink& sink) {
            return item::stored_pieces(tag, value, [&sink](std::string_view piece) {
                return sink(piece.data(), piece.size());
            });
        });
    }

    // An object's entry carries no size of its own.
    void object(uint32_t tag, const item::message& message) {
        values_[tag] = 0xFFFFFFFF;
        add_item(file_, file_.add_storage(storage_, substg_name(tag)), message, true, owned_);
    }

    compound_file& file_;
    int storage_;
    std::deque<std::string>& owned_;
    std::map<uint32_t, uint64_t> values_;  // ordered by tag, so the output never varies
};

}  // namespace

std::u16string ascii(const char* s) {
    return std::u16string(s, s + std::char_traits<char>::length(s));
}

// Recipients first, then the message's own values, then its attachments; the property
// stream of each object comes last in its storage.
void add_item(compound_file& file, int storage, const item::message& message, bool embedded,
              std::deque<std::string>& owned) {
    for (size_t i = 0; i < message.recipients.size(); ++i) {
        object_writer recipient(
            file, file.add_storage(storage, numbered("__recip_version1.0_#%08X", i)), owned);
        recipient.values(message.recipients[i], nullptr);
        recipient.finish(std::string(8, '\0'));
    }
    object_writer own(file, storage, owned);
    own.values(message.properties, nullptr);
    for (size_t i = 0; i < message.attachments.size(); ++i) {
        const item::attachment& attachment = message.attachments[i];
        object_writer writer(
            file, file.add_storage(storage, numbered("__attach_version1.0_#%08X", i)), owned);
        writer.values(attachment.properties, attachment.embedded.get());
        writer.finish(std::string(8, '\0'));
    }
    std::string header(8, '\0');
    put_le(header, message.recipients.size(), 4);   // next recipient id
    put_le(header, message.attachments.size(), 4);  // next attachment id
    put_le(header, message.recipients.size(), 4);
    put_le(header, message.attachments.size(), 4);
    if (!embedded) header.append(8, '\0');  // an embedded message's header has no reserved tail
    own.finish(std::move(header));
}

}  // namespace msg
