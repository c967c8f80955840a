#include "dbx/index_tree.h"

#include <algorithm>
#include <unordered_set>

#include "dbx/layout.h"

namespace dbx_index {
namespace {

using dbx_layout::load_word;

const unsigned char* bytes_of(std::string_view view) {
    return reinterpret_cast<const unsigned char*>(view.data());
}

// The header's first 20 bytes but for the 4 that tell the kind of file.
constexpr unsigned char signature[] = {0xcf, 0xad, 0x12, 0xfe};
constexpr unsigned char class_tail[] = {0x74, 0x6f, 0x66, 0xe3, 0xd1, 0x11, 0x9a,
                                        0x4e, 0x00, 0xc0, 0x4f, 0xa3, 0x09, 0xd4};
constexpr unsigned char messages_kind[] = {0xc5, 0xfd};
constexpr unsigned char folders_kind[] = {0xc6, 0xfd};

// An indexed info object's header: its marker, the body's length, the object's length,
// the number of index entries and a change counter.
constexpr uint32_t info_header_size = 12;
// No object of the store's variable segments (0xc000 bytes) is larger.
constexpr uint32_t info_body_most = 0xc000;

constexpr size_t window_size = 64 * 1024;

// A tree of nodes of up to 0x33 entries holds any store's messages in a few levels; a chain
// of nodes deeper than this is no tree.
constexpr size_t deepest = 64;

}  // namespace

void faults::add(const char* one, const char* many, uint32_t count) {
    for (kind& each : kinds_)
        if (each.one == one) {
            each.count += count;
            return;
        }
    kinds_.push_back({one, many, count});
}

void faults::say(std::string text) {
    sayings_.push_back(std::move(text));
}

std::string faults::note(std::string_view what) const {
    if (!any()) return {};
    std::string text = std::string(what) + " is damaged: ";
    bool first = true;
    auto part = [&](const std::string& piece) {
        if (!first) text += "; ";
        text += piece;
        first = false;
    };
    for (const kind& each : kinds_)
        part(each.count == 1 ? std::string(each.one)
                             : std::to_string(each.count) + " " + each.many);
    for (const std::string& saying : sayings_) part(saying);
    return text + "; what it still says is used";
}

std::optional<std::string_view> object_reader::read(uint64_t offset, size_t length) {
    if (length > limit_ || offset > limit_ - length) return std::nullopt;
    if (offset < window_start_ || offset + length > window_start_ + window_.size()) {
        uint64_t start = offset - offset % 4096;
        size_t size = size_t(std::min<uint64_t>(
            std::max(window_size, size_t(offset - start) + length), limit_ - start));
        window_.resize(size);
        platform::read_outcome got = source_.read(base_ + start, window_.data(), size);
        window_.resize(got.count);
        window_start_ = start;
        if (offset + length > window_start_ + window_.size()) return std::nullopt;
    }
    return std::string_view(window_).substr(size_t(offset - window_start_), length);
}

file_header read_file_header(object_reader& reader) {
    file_header header;
    std::optional<std::string_view> bytes;
    if (reader.limit() >= file_header_size) {
        // Read from 0: object_reader::holds() keeps objects out of the header, not reads.
        bytes = reader.read(0, header_tree_root + 4 * (1 + header_other_roots));
    }
    if (!bytes) return header;
    const unsigned char* b = bytes_of(*bytes);
    if (!std::equal(std::begin(signature), std::end(signature), b) ||
        !std::equal(std::begin(class_tail), std::end(class_tail), b + 6))
        return header;
    if (std::equal(std::begin(messages_kind), std::end(messages_kind), b + 4))
        header.kind = file_kind::messages;
    else if (std::equal(std::begin(folders_kind), std::end(folders_kind), b + 4))
        header.kind = file_kind::folders;
    else
        return header;
    header.items = load_word(b + header_item_count);
    header.root = load_word(b + header_tree_root);
    for (uint32_t i = 0; i < header_other_roots; i++)
        header.other_roots[i] = load_word(b + header_tree_root + 4 * (i + 1));
    return header;
}

std::vector<uint32_t> tree_values(object_reader& reader, uint32_t root, faults& found,
                                  uint32_t stated) {
    std::vector<uint32_t> values;
    // Each value names an object of its own, at least an info object's header long.
    const uint64_t most_values = reader.limit() / info_header_size;
    // A count that may lie sizes nothing larger than a store's index ever grows.
    constexpr uint32_t most_reserved = 1 << 20;
    if (stated <= most_values) values.reserve(std::min(stated, most_reserved));
    std::unordered_set<uint32_t> visited;
    // One node being read: its entries, the next one to take, and what its parent says
    // the subtree holds.
    struct frame {
        uint32_t offset;
        uint32_t stated;
        size_t values_before;
        unsigned entries;
        unsigned next;  // 0: the first child still to read; i + 1: entry i
        uint32_t children[tree_node_entries + 1];
        uint32_t child_counts[tree_node_entries + 1];
        uint32_t entry_values[tree_node_entries];
    };
    std::vector<frame> stack;
    bool broken = false;
    uint32_t wrong_counts = 0;
    auto enter = [&](uint32_t offset, uint32_t stated) {
        if (offset == 0) return;
        broken = true;  // until the node proves whole
        if (stack.size() >= deepest) {
            found.add("the tree is deeper than a store's tree grows",
                      "subtrees lie deeper than a store's tree grows");
            return;
        }
        if (values.size() >= most_values) {
            found.add("the tree names more values than the file can hold",
                      "subtrees name more values than the file can hold");
            return;
        }
        if (!reader.holds(offset, tree_node_size)) {
            found.add("a node lies outside the file", "nodes lie outside the file");
            return;
        }
        if (!visited.insert(offset).second) {
            found.add("a node is reached twice (a loop)", "nodes are reached twice (loops)");
            return;
        }
        std::optional<std::string_view> bytes = reader.read(offset, tree_node_size);
        if (!bytes) {
            found.add("a node cannot be read", "nodes cannot be read");
            return;
        }
        const unsigned char* b = bytes_of(*bytes);
        if (load_word(b) != offset) {
            found.add("a pointer names no node", "pointers name no node");
            return;
        }
        broken = false;
        frame node{};
        node.offset = offset;
        node.stated = stated;
        node.values_before = values.size();
        node.entries = b[0x11];
        if (node.entries > tree_node_entries) {
            found.add("a node states more entries than a node holds",
                      "nodes state more entries than a node holds");
            node.entries = tree_node_entries;
            broken = true;
        }
        node.children[0] = load_word(b + 0x08);
        node.child_counts[0] = load_word(b + 0x14);
        for (unsigned i = 0; i < node.entries; i++) {
            const unsigned char* entry = b + 0x18 + 12 * i;
            node.entry_values[i] = load_word(entry);
            node.children[i + 1] = load_word(entry + 4);
            node.child_counts[i + 1] = load_word(entry + 8);
        }
        stack.push_back(node);
    };
    enter(root, UINT32_MAX);
    bool any_broken = broken;
    while (!stack.empty()) {
        frame& top = stack.back();
        if (top.next > top.entries) {
            if (top.stated != UINT32_MAX && values.size() - top.values_before != top.stated)
                wrong_counts++;
            stack.pop_back();
            continue;
        }
        unsigned at = top.next++;
        if (at > 0 && top.entry_values[at - 1] != 0) values.push_back(top.entry_values[at - 1]);
        uint32_t child = top.children[at], count = top.child_counts[at];
        enter(child, count);  // may move `top`
        any_broken = any_broken || broken;
        broken = false;
    }
    // A subtree cut short by another fault disagrees with its count for that reason alone.
    if (wrong_counts > 0 && !any_broken)
        found.add("a node's count disagrees with its subtree",
                  "nodes' counts disagree with their subtrees", wrong_counts);
    return values;
}

const indexed_info::field* indexed_info::find(uint8_t number) const {
    unsigned at = number < field_numbers ? first_[number] : 0;
    return at == 0 ? nullptr : &fields_[at - 1];
}

std::optional<uint32_t> indexed_info::number(uint8_t number) const {
    const field* it = find(number);
    if (it == nullptr) return std::nullopt;
    if (it->direct) return it->value;
    if (it->end - it->value < 4) return std::nullopt;
    return load_word(reinterpret_cast<const unsigned char*>(data_.data()) + it->value);
}

uint64_t indexed_info::filetime(uint8_t number) const {
    const field* it = find(number);
    if (it == nullptr || it->direct || it->end - it->value < 8) return 0;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(data_.data()) + it->value;
    return load_word(b) | uint64_t(load_word(b + 4)) << 32;
}

std::string_view indexed_info::text(uint8_t number) const {
    const field* it = find(number);
    if (it == nullptr || it->direct) return {};
    std::string_view bytes = data_.substr(it->value, it->end - it->value);
    return bytes.substr(0, bytes.find('\0'));
}

std::optional<indexed_info> read_indexed_info(object_reader& reader, uint32_t offset) {
    if (!reader.holds(offset, info_header_size)) return std::nullopt;
    std::optional<std::string_view> head = reader.read(offset, info_header_size);
    if (!head) return std::nullopt;
    const unsigned char* h = bytes_of(*head);
    uint32_t body = load_word(h + 4);
    unsigned count = h[10];
    if (load_word(h) != offset || body > info_body_most || 4u * count > body ||
        !reader.holds(offset, info_header_size + uint64_t(body)))
        return std::nullopt;
    std::optional<std::string_view> bytes = reader.read(offset + info_header_size, body);
    if (!bytes) return std::nullopt;
    std::optional<indexed_info> made(std::in_place);
    indexed_info& info = *made;
    info.data_ = bytes->substr(4 * count);
    uint32_t data_size = uint32_t(info.data_.size());
    const unsigned char* entries = bytes_of(*bytes);
    for (unsigned i = 0; i < count && info.count_ < indexed_info::most_fields; i++) {
        const unsigned char* entry = entries + 4 * i;
        uint32_t value = uint32_t(entry[1]) | uint32_t(entry[2]) << 8 | uint32_t(entry[3]) << 16;
        bool direct = entry[0] & 0x80;
        if (!direct && value >= data_size) {
            info.fields_outside = true;
            continue;
        }
        uint8_t number = entry[0] & 0x7f;
        if (info.first_[number] == 0) info.first_[number] = uint8_t(info.count_ + 1);
        info.fields_[info.count_++] = {number, direct, value, data_size};
    }
    // A field's bytes run to where the next field stored in the data begins: the next one
    // written, where they were written in order, as Outlook Express writes them.
    unsigned previous = info.count_;
    bool ascending = true;
    for (unsigned i = 0; i < info.count_; i++) {
        indexed_info::field& field = info.fields_[i];
        if (field.direct) continue;
        if (previous != info.count_) {
            if (field.value <= info.fields_[previous].value) ascending = false;
            info.fields_[previous].end = field.value;
        }
        previous = i;
    }
    if (!ascending)
        for (unsigned i = 0; i < info.count_; i++) {
            indexed_info::field& field = info.fields_[i];
            if (field.direct) continue;
            field.end = data_size;
            for (unsigned j = 0; j < info.count_; j++) {
                const indexed_info::field& other = info.fields_[j];
                if (!other.direct && other.value > field.value)
                    field.end = std::min(field.end, other.value);
            }
        }
    return made;
}

}  // namespace dbx_index
