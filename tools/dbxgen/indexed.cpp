// The index of a store as the public notes on the format describe it (docs/DBX-INDEX.md):
// indexed info objects, the tree of nodes over them, and the file header that names the
// tree's root.

#include "tools/dbxgen/indexed.h"

#include <algorithm>
#include <functional>

#include "platform/byte_layout.h"

namespace dbxgen {
namespace {

constexpr uint32_t node_child = 0x08, node_parent = 0x0c, node_id = 0x10, node_count = 0x11,
                   node_child_values = 0x14, node_entries = 0x18, entry_size = 12;

// One field of an indexed info object: stored in the index entry itself (`direct`, 24 bits)
// or as bytes in the data field.
struct info_field {
    uint8_t number;
    bool direct;
    uint32_t value;
    std::string data;
};

std::string word_bytes(uint32_t value) {
    std::string bytes;
    platform::put_le(bytes, value, 4);
    return bytes;
}

std::string filetime_bytes(uint64_t value) {
    std::string bytes;
    platform::put_le(bytes, value, 8);
    return bytes;
}

// A number as Outlook Express stores it: in the entry when it fits in 24 bits.
info_field number_field(uint8_t number, uint32_t value) {
    if (value < (1u << 24)) return {number, true, value, {}};
    return {number, false, 0, word_bytes(value)};
}

// Writes the object at `at`; returns where the next object may start.
uint64_t put_indexed_info(store_image& image, uint64_t at, std::vector<info_field> fields) {
    std::sort(fields.begin(), fields.end(),
              [](const info_field& a, const info_field& b) { return a.number < b.number; });
    std::string data;
    std::string entries;
    for (const info_field& field : fields) {
        uint32_t value = field.direct ? field.value : uint32_t(data.size());
        entries += char(field.number | (field.direct ? 0x80 : 0));
        entries += word_bytes(value).substr(0, 3);
        data += field.data;
    }
    uint32_t body = uint32_t(entries.size() + data.size());
    body = (body + 3) & ~3u;
    // A body length of 508 or 512 would make the header read as a message block's.
    if (body == 508 || body == 512) body += 4;
    image.put_word(at, uint32_t(at));
    image.put_word(at + 4, body);
    image.put_bytes(at + 8, "\0\0", 2);  // the object's length: not always set
    uint8_t counts[2] = {uint8_t(fields.size()), 1};
    image.put_bytes(at + 10, counts, 2);
    image.put_text(at + 12, entries);
    image.put_text(at + 12 + entries.size(), data);
    uint64_t end = at + 12 + body;
    image.put_bytes(end - 1, "", 1);  // the padding exists
    return end;
}

std::vector<info_field> message_fields(const indexed_message& message) {
    std::vector<info_field> fields;
    fields.push_back(number_field(0x00, message.index_number));
    fields.push_back({0x01, false, 0, word_bytes(message.flags)});
    if (message.sent) fields.push_back({0x02, false, 0, filetime_bytes(message.sent)});
    if (message.first_block) fields.push_back(number_field(0x04, message.first_block));
    if (message.saved) fields.push_back({0x06, false, 0, filetime_bytes(message.saved)});
    auto text = [&](uint8_t number, const std::string& value) {
        if (!value.empty()) fields.push_back({number, false, 0, value + '\0'});
    };
    text(0x07, message.message_id);
    text(0x08, message.subject);
    text(0x0d, message.sender_name);
    text(0x0e, message.sender_address);
    if (message.priority) fields.push_back(number_field(0x10, uint32_t(message.priority)));
    if (message.received) fields.push_back({0x12, false, 0, filetime_bytes(message.received)});
    text(0x1a, message.account);
    return fields;
}

std::vector<info_field> folder_fields(const folder_entry& folder) {
    std::vector<info_field> fields;
    fields.push_back({0x00, false, 0, word_bytes(folder.id)});
    fields.push_back({0x01, false, 0, word_bytes(folder.parent_id)});
    fields.push_back({0x02, false, 0, folder.name + '\0'});
    if (!folder.file_name.empty()) fields.push_back({0x03, false, 0, folder.file_name + '\0'});
    fields.push_back(number_field(0x09, folder.special));
    fields.push_back(number_field(0x0a, folder.account_kind));
    return fields;
}

// Builds a tree over `values` in nodes of at most `fanout` entries, from `at`.
class tree_builder {
  public:
    tree_builder(store_image& image, uint64_t at, unsigned fanout)
        : image_(image), next_(at), fanout_(std::clamp(fanout, 1u, tree_node_entries)) {}

    uint32_t build(const std::vector<uint32_t>& values, std::vector<uint32_t>& nodes) {
        nodes_ = &nodes;
        return node(values, 0, values.size(), 0, 0);
    }
    uint64_t end() const { return next_; }

  private:
    uint32_t node(const std::vector<uint32_t>& values, size_t from, size_t to, uint32_t parent,
                  uint8_t id) {
        uint32_t at = uint32_t(next_);
        next_ += tree_node_size;
        nodes_->push_back(at);
        image_.resize(std::max<size_t>(image_.size(), size_t(next_ - image_.origin())));
        image_.put_word(at, at);
        image_.put_word(at + node_parent, parent);
        size_t count = to - from;
        size_t entries = std::min<size_t>(count, fanout_);
        // The values left over are spread over the entries' children and the first child.
        size_t rest = count - entries, children = entries + 1;
        size_t place = from;
        auto child = [&](size_t index, uint32_t& pointer, uint32_t& held) {
            size_t size = rest / children + (index < rest % children ? 1 : 0);
            pointer = size ? node(values, place, place + size, at, uint8_t(index)) : 0;
            held = uint32_t(size);
            place += size;
        };
        uint32_t pointer = 0, held = 0;
        child(0, pointer, held);
        image_.put_word(at + node_child, pointer);
        image_.put_word(at + node_child_values, held);
        for (size_t i = 0; i < entries; i++) {
            uint32_t value = values[place++];
            child(i + 1, pointer, held);
            uint64_t entry = at + node_entries + entry_size * i;
            image_.put_word(entry, value);
            image_.put_word(entry + 4, pointer);
            image_.put_word(entry + 8, held);
        }
        uint8_t head[2] = {id, uint8_t(entries)};
        image_.put_bytes(at + node_id, head, 2);
        return at;
    }

    store_image& image_;
    uint64_t next_;
    unsigned fanout_;
    std::vector<uint32_t>* nodes_ = nullptr;
};

index_layout put_index(store_image& image, uint64_t at,
                       const std::vector<std::vector<info_field>>& objects, unsigned fanout) {
    index_layout layout;
    for (const std::vector<info_field>& fields : objects) {
        layout.infos.push_back(uint32_t(at));
        at = put_indexed_info(image, at, fields);
    }
    tree_builder tree(image, at, fanout);
    layout.root = objects.empty() ? 0 : tree.build(layout.infos, layout.nodes);
    layout.end = objects.empty() ? at : tree.end();
    return layout;
}

// The remaining bytes of the header's class identifier after the 16-byte signature.
constexpr uint8_t header_tail[] = {0x4f, 0xa3, 0x09, 0xd4, 5, 0, 0, 0, 5, 0, 0, 0};

// 2003-01-01, the year the identities' mail is from.
constexpr uint64_t filetime_2003 = platform::filetime_of(1041379200);
constexpr uint64_t filetime_second = 10000000ull;

// The value of the header field `name` (the first of that name), without its line end.
std::string header_field(const std::string& text, const std::string& name) {
    size_t line = 0;
    while (line < text.size()) {
        size_t end = text.find('\n', line);
        if (end == std::string::npos) end = text.size();
        std::string_view content(text.data() + line, end - line);
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        if (content.empty()) break;
        if (content.size() > name.size() && content.substr(0, name.size()) == name &&
            content[name.size()] == ':') {
            std::string_view value = content.substr(name.size() + 1);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            return std::string(value);
        }
        line = end + 1;
    }
    return {};
}

}  // namespace

namespace {

struct named_damage {
    index_damage damage;
    const char* name;
};
constexpr named_damage damage_names[] = {
    {index_damage::none, "none"},
    {index_damage::cut_tree, "cut-tree"},
    {index_damage::looping_nodes, "looping-nodes"},
    {index_damage::oversized_node, "oversized-node"},
    {index_damage::lying_count, "lying-count"},
    {index_damage::freed_target, "freed-target"},
    {index_damage::stray_value, "stray-value"},
    {index_damage::cut_file, "cut-file"},
};

}  // namespace

const char* damage_name(index_damage damage) {
    for (const named_damage& each : damage_names)
        if (each.damage == damage) return each.name;
    return "none";
}

bool damage_named(const std::string& name, index_damage& damage) {
    for (const named_damage& each : damage_names)
        if (name == each.name) {
            damage = each.damage;
            return true;
        }
    return false;
}

index_layout put_message_index(store_image& image, uint64_t at,
                               const std::vector<indexed_message>& messages, unsigned fanout) {
    std::vector<std::vector<info_field>> objects;
    for (const indexed_message& message : messages) objects.push_back(message_fields(message));
    return put_index(image, at, objects, fanout);
}

index_layout put_folder_index(store_image& image, uint64_t at,
                              const std::vector<folder_entry>& folders, unsigned fanout) {
    std::vector<std::vector<info_field>> objects;
    for (const folder_entry& folder : folders) objects.push_back(folder_fields(folder));
    return put_index(image, at, objects, fanout);
}

void put_file_header(store_image& image, bool folders, uint32_t items, uint32_t root,
                     const std::string& folder_name) {
    uint32_t info = folders ? folders_file_info_size : message_file_info_size;
    image.put_signature();
    if (folders) image.put_bytes(4, "\xc6", 1);
    image.put_bytes(16, header_tail, sizeof header_tail);
    image.put_word(0x1c, info);
    image.put_word(0xc4, items);
    image.put_word(0xe4, root);
    image.resize(std::max<size_t>(image.size(), file_header_size + info));
    if (folders) {
        image.put_text(file_header_size, filetime_bytes(filetime_2003));
        image.put_word(file_header_size + 8, 1);
    } else {
        image.put_word(file_header_size, 1);
        image.put_bytes(file_header_size + 4, "\x03", 1);  // a local folder
        image.put_text(file_header_size + 0x105, folder_name.substr(0, 0x100));
    }
}

indexed_message describe_message(const std::string& text, uint32_t first_block,
                                 uint32_t index_number, random_source& random) {
    indexed_message message;
    message.first_block = first_block;
    message.index_number = index_number;
    message.subject = header_field(text, "Subject");
    message.message_id = header_field(text, "Message-ID");
    std::string from = header_field(text, "From");
    size_t open = from.find('<'), close = from.rfind('>');
    if (open != std::string::npos && close != std::string::npos && close > open) {
        message.sender_address = from.substr(open + 1, close - open - 1);
        std::string name = from.substr(0, open);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        message.sender_name = name;
    } else {
        message.sender_address = from;
    }
    message.flags = 0x1;  // the body is here
    if (random.chance(70)) message.flags |= 0x80;
    if (random.chance(20)) message.flags |= 0x80000;
    if (random.chance(10)) message.flags |= 0x100000;
    if (random.chance(10)) message.flags |= 0x20;
    unsigned roll = unsigned(random.below(10));
    message.priority = roll == 0 ? 1 : roll == 1 ? 5 : 3;
    message.sent = filetime_2003 + uint64_t(index_number) * 5000 * filetime_second +
                   random.below(3600) * filetime_second;
    message.received = message.sent + (30 + random.below(3600)) * filetime_second;
    message.saved = message.received;
    message.account = "Mail";
    return message;
}

store_image indexed_store(const indexed_store_options& options,
                          std::vector<indexed_message>* index) {
    random_source random(options.seed), state(options.seed ^ 0x5eed1de7u);
    store_image image;
    uint32_t next = file_header_size + message_file_info_size;
    std::vector<indexed_message> messages;
    std::vector<uint32_t> first_blocks, freed;
    std::vector<std::vector<uint32_t>> indexed_blocks;
    for (int i = 0; i < options.messages; i++) {
        std::string text = make_message(random, size_t(random.between(100, 1600)));
        auto offsets =
            lay_out_blocks(next, live_blocks_for(text.size()), block_order::in_order, random);
        image.add_message(text, offsets);
        next += uint32_t(offsets.size()) * block_size;
        first_blocks.push_back(offsets[0]);
        if (i < options.messages - options.unindexed) {
            messages.push_back(describe_message(text, offsets[0], uint32_t(i + 1), state));
            messages.back().account = options.account;
            messages.back().flags |= options.flags;
            indexed_blocks.push_back(offsets);
        }
    }
    for (int i = 0; i < options.deleted; i++) {
        std::string text = make_message(random, size_t(random.between(100, 1600)));
        auto offsets =
            lay_out_blocks(next, freed_blocks_for(text.size()), block_order::in_order, random);
        image.add_freed_fragment(text, offsets, freed.empty() ? 0 : freed.back());
        next += uint32_t(offsets.size()) * block_size;
        freed.push_back(offsets[0]);
    }
    const std::string zeros(block_size, '\0');
    for (size_t i = indexed_blocks.size() -
                    std::min(indexed_blocks.size(), size_t(std::max(0, options.vanished)));
         i < indexed_blocks.size(); i++)
        for (uint32_t offset : indexed_blocks[i]) image.put_text(offset, zeros);
    if (options.damage == index_damage::freed_target && messages.size() > 1 && !freed.empty())
        messages[1].first_block = freed[0];
    index_layout layout = put_message_index(image, next, messages, options.fanout);
    uint32_t items = uint32_t(messages.size());
    if (options.damage == index_damage::lying_count) items += 5;
    put_file_header(image, false, items, layout.root, options.folder_name);
    if (!layout.nodes.empty()) {
        uint32_t root = layout.root, leaf = layout.nodes.back();
        switch (options.damage) {
            case index_damage::cut_tree: {
                // The root's last child: past the end of the file.
                uint32_t entries = image.bytes()[root + node_count - image.origin()];
                if (entries > 0)
                    image.put_word(root + node_entries + entry_size * (entries - 1) + 4,
                                   uint32_t(layout.end + 0x100000));
                break;
            }
            case index_damage::looping_nodes:
                image.put_word(leaf + node_entries + 4, root);
                break;
            case index_damage::oversized_node:
                image.put_bytes(root + node_count, "\x40", 1);
                break;
            case index_damage::stray_value:
                if (!first_blocks.empty()) image.put_word(root + node_entries, first_blocks[0]);
                break;
            case index_damage::cut_file:
                image.resize(size_t(leaf + tree_node_size / 2 - image.origin()));
                break;
            default:
                break;
        }
    }
    if (index) *index = messages;
    return image;
}

store_image folders_file(std::vector<folder_entry> folders, bool parent_loop, size_t second_tree) {
    store_image image;
    if (parent_loop) {
        std::vector<size_t> tops;
        for (size_t i = 0; i < folders.size(); i++)
            if (!folders[i].file_name.empty()) tops.push_back(i);
        if (tops.size() >= 2) {
            folders[tops[0]].parent_id = folders[tops[1]].id;
            folders[tops[1]].parent_id = folders[tops[0]].id;
        }
    }
    second_tree = std::min(second_tree, folders.size());
    std::vector<folder_entry> second(folders.begin() + long(second_tree), folders.end());
    folders.resize(second_tree);
    index_layout layout =
        put_folder_index(image, file_header_size + folders_file_info_size, folders, 3);
    index_layout other = put_folder_index(image, layout.end, second, 3);
    put_file_header(image, true, uint32_t(folders.size()), layout.root, {});
    image.put_word(0xe8, other.root);
    return image;
}

bool write_identity(const std::string& folder, FILE* report) {
    struct store_plan {
        uint32_t id, parent;
        const char* name;
        const char* file;  // the file keeps the folder's first name
        uint32_t special;
        int messages, deleted, unindexed, vanished;
        index_damage damage;
        uint32_t flags;  // on every message: drafts are drafts, what was sent was read
    };
    const store_plan plans[] = {
        {2, 1, "Inbox", "Inbox", 1, 14, 3, 0, 0, index_damage::none, 0},
        {3, 1, "Outbox", "Outbox", 2, 1, 0, 0, 0, index_damage::none, 0},
        {4, 1, "Sent Items", "Sent Items", 3, 6, 1, 0, 0, index_damage::none, 0x80},
        {5, 1, "Deleted Items", "Deleted Items", 4, 5, 4, 0, 0, index_damage::none, 0},
        {6, 1, "Drafts", "Drafts", 5, 2, 0, 0, 0, index_damage::none, 0x88},
        {7, 2, "Clients", "Clients", 0, 4, 0, 0, 0, index_damage::none, 0},
        {8, 7, "Acme", "Acme", 0, 9, 2, 0, 0, index_damage::none, 0},
        {9, 7, "Globex", "Globex", 0, 12, 1, 0, 0, index_damage::cut_tree, 0},
        {10, 2, "Family", "Family", 0, 10, 1, 3, 0, index_damage::none, 0},
        {11, 1, "Archive", "Archive", 0, 3, 0, 0, 0, index_damage::none, 0},
        {12, 11, "Invoices", "Receipts", 0, 7, 2, 0, 0, index_damage::none, 0},
        {13, 11, "2004", "2004", 0, 4, 0, 0, 2, index_damage::none, 0},
    };
    std::vector<folder_entry> folders = {
        {0, 0xffffffffu, "Outlook Express", "", 0, 3},
        {1, 0, "Local Folders", "", 0, 3},
    };
    uint64_t seed = 100;
    for (const store_plan& plan : plans) {
        std::string file = std::string(plan.file) + ".dbx";
        folders.push_back({plan.id, plan.parent, plan.name, file, plan.special, 3});
        indexed_store_options options;
        options.seed = seed++;
        options.messages = plan.messages;
        options.deleted = plan.deleted;
        options.unindexed = plan.unindexed;
        options.vanished = plan.vanished;
        options.flags = plan.flags;
        options.damage = plan.damage;
        options.folder_name = plan.file;
        if (!indexed_store(options).write_file(folder + "/" + file)) return false;
        std::fprintf(report,
                     "%s: %s, %d messages (%d in the index, %d of them without blocks), %d deleted "
                     "fragments%s%s\n",
                     file.c_str(), plan.name, plan.messages, plan.messages - plan.unindexed,
                     plan.vanished, plan.deleted,
                     plan.damage == index_damage::none ? "" : ", index damage ",
                     plan.damage == index_damage::none ? "" : damage_name(plan.damage));
    }
    if (!folders_file(folders).write_file(folder + "/Folders.dbx")) return false;
    std::fprintf(report, "Folders.dbx: %zu folders\n", folders.size());
    return true;
}

}  // namespace dbxgen
