#include "pst/messages.h"

#include <algorithm>

#include "item/tags.h"
#include "platform/byte_layout.h"
#include "pst/tables.h"

namespace pst {

using platform::put_le;

namespace {

// A value as the file holds it: what the writer adds wins over the item's own.
const item::property_value* value_of(uint32_t tag, const item::property_map& own,
                                     const item::property_map& additions) {
    auto added = additions.find(tag);
    if (added != additions.end()) return &added->second;
    auto found = own.find(tag);
    return found != own.end() ? &found->second : nullptr;
}

// Text in a contents row is cut here, as mail programs cut table columns.
constexpr size_t row_text_max = 255;

std::vector<uint32_t> with_tags_of(std::vector<uint32_t> columns,
                                   const std::vector<item::property_map>& rows) {
    for (const item::property_map& row : rows)
        for (const auto& entry : row) columns.push_back(entry.first);
    return columns;
}

// Bytes of an object's values and of everything below it: the size Outlook shows.
uint64_t object_size(const item::message& message) {
    uint64_t total = 0;
    auto add = [&](const item::property_map& properties) {
        for (const auto& [tag, value] : properties) total += 8 + item::stored_size(tag, value);
    };
    add(message.properties);
    for (const item::property_map& recipient : message.recipients) add(recipient);
    for (const item::attachment& attachment : message.attachments) {
        add(attachment.properties);
        if (attachment.embedded) total += object_size(*attachment.embedded);
    }
    return total;
}

std::vector<std::string> table_pages(
    pst_ndb& ndb, pst_subnodes& subnodes, std::vector<uint32_t> columns,
    const std::vector<std::pair<uint32_t, item::property_map>>& rows) {
    pst_table table(ndb, subnodes, std::move(columns));
    for (const auto& [id, row] : rows) table.add_row(id, row);
    return table.finish();
}

uint64_t heap_size(const std::vector<std::string>& pages) {
    uint64_t size = 0;
    for (const std::string& page : pages) size += page.size();
    return size;
}

void add_table(pst_ndb& ndb, pst_subnodes& subnodes, uint32_t nid, std::vector<uint32_t> columns,
               const std::vector<std::pair<uint32_t, item::property_map>>& rows) {
    pst_subnodes own;
    std::vector<std::string> pages = table_pages(ndb, own, std::move(columns), rows);
    uint64_t data = ndb.add_pages(pages);
    subnodes.add_fixed(nid, data, own.finish(ndb));
}

// One attachment: its property context in a subnode, its data or message below it.
// Returns the row its attachment table shows.
item::property_map write_attachment(pst_ndb& ndb, pst_subnodes& subnodes,
                                    const item::attachment& attachment, uint32_t& nid) {
    pst_subnodes own;
    item::property_map additions;
    if (attachment.embedded) {
        pst_written_message inner = pst_write_message(ndb, *attachment.embedded);
        uint32_t inner_nid = own.add(pst_node_message, inner.data_bid, inner.sub_bid);
        std::string object;
        put_le(object, inner_nid, 4);
        put_le(object, inner.size, 4);
        additions[item::tags::attach_data_object].bytes = std::move(object);
        additions[item::tags::attach_method].fixed = item::attach_embedded_message;
        if (!attachment.properties.count(item::tags::attach_size))
            additions[item::tags::attach_size].fixed = std::min<uint64_t>(inner.size, 0x7FFFFFFF);
    } else if (!attachment.properties.count(item::tags::attach_size)) {
        auto data = attachment.properties.find(item::tags::attach_data);
        additions[item::tags::attach_size].fixed =
            data == attachment.properties.end() ? 0 : data->second.bytes.size();
    }
    // An attachment of no bytes keeps its (empty) data: readers drop one that has none.
    std::vector<std::string> pages =
        pst_property_context(ndb, attachment.properties, additions, own, true);
    uint64_t data = ndb.add_pages(pages);
    nid = subnodes.add(pst_node_attachment, data, own.finish(ndb));

    item::property_map row;
    for (uint32_t tag : pst_attachment_columns()) {
        if (const item::property_value* value = value_of(tag, attachment.properties, additions))
            row[tag] = *value;
    }
    return row;
}

// A contents row packed small, as the folder keeps it until the end: for each value, its
// column's number, its length in two bytes and its bytes as the file stores them.
std::string pack_row(const item::property_map& properties, const item::property_map& additions) {
    std::string packed;
    std::vector<uint32_t> columns = pst_contents_columns();
    for (size_t column = 0; column < columns.size(); ++column) {
        uint32_t tag = columns[column];
        const item::property_value* value = value_of(tag, properties, additions);
        if (value == nullptr) continue;
        std::string bytes = pst_value_bytes(tag, *value);
        size_t limit = item::property_type(tag) == item::type_unicode ? 2 * row_text_max : 0xFFFF;
        bytes.resize(std::min(bytes.size(), limit));
        packed.push_back(static_cast<char>(column));
        put_le(packed, bytes.size(), 2);
        packed += bytes;
    }
    return packed;
}

uint64_t get_le(std::string_view bytes) {
    uint64_t value = 0;
    for (size_t i = bytes.size(); i > 0; --i)
        value = value << 8 | static_cast<uint8_t>(bytes[i - 1]);
    return value;
}

}  // namespace

pst_written_message pst_write_message(pst_ndb& ndb, const item::message& message) {
    pst_subnodes subnodes;

    std::vector<std::pair<uint32_t, item::property_map>> recipients;
    for (size_t i = 0; i < message.recipients.size(); ++i)
        recipients.emplace_back(static_cast<uint32_t>(i), message.recipients[i]);
    add_table(ndb, subnodes, pst_recipient_table_nid,
              with_tags_of(pst_recipient_columns(), message.recipients), recipients);

    if (!message.attachments.empty()) {
        std::vector<std::pair<uint32_t, item::property_map>> rows;
        for (const item::attachment& attachment : message.attachments) {
            uint32_t nid = 0;
            item::property_map row = write_attachment(ndb, subnodes, attachment, nid);
            rows.emplace_back(nid, std::move(row));
        }
        add_table(ndb, subnodes, pst_attachment_table_nid, pst_attachment_columns(), rows);
    }

    // What the file keeps of a message besides its own values: whether it has attachments,
    // and its size.
    item::property_map additions;
    auto flags = message.properties.find(item::tags::message_flags);
    uint64_t flag_bits = flags == message.properties.end() ? 0 : flags->second.fixed;
    if (!message.attachments.empty()) flag_bits |= item::message_flag_has_attach;
    additions[item::tags::message_flags].fixed = flag_bits;
    additions[item::tags::has_attach].fixed = message.attachments.empty() ? 0 : 1;
    if (!message.properties.count(item::tags::message_size))
        additions[item::tags::message_size].fixed =
            std::min<uint64_t>(object_size(message), 0x7FFFFFFF);

    std::vector<std::string> pages =
        pst_property_context(ndb, message.properties, additions, subnodes);
    pst_written_message written;
    written.size = heap_size(pages);
    written.data_bid = ndb.add_pages(pages);
    written.sub_bid = subnodes.finish(ndb);
    written.contents_row = pack_row(message.properties, additions);
    return written;
}

item::property_map pst_unpack_row(const std::string& packed) {
    std::vector<uint32_t> columns = pst_contents_columns();
    item::property_map properties;
    std::string_view rest = packed;
    while (rest.size() >= 3) {
        uint32_t tag = columns.at(static_cast<uint8_t>(rest[0]));
        size_t length = get_le(rest.substr(1, 2));
        std::string_view bytes = rest.substr(3, length);
        rest.remove_prefix(std::min(rest.size(), 3 + length));
        item::property_value& value = properties[tag];
        if (item::property_type(tag) == item::type_unicode) {
            for (size_t i = 0; i + 1 < bytes.size(); i += 2)
                value.text.push_back(static_cast<char16_t>(get_le(bytes.substr(i, 2))));
        } else if (item::property_type(tag) == item::type_binary) {
            value.bytes = std::string(bytes);
        } else {
            value.fixed = get_le(bytes);
        }
    }
    return properties;
}

}  // namespace pst
