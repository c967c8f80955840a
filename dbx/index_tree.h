#pragma once
// What the store's index and Folders.dbx have in common (docs/DBX-INDEX.md): the file
// header, the tree whose values point at indexed info objects, and those objects. Every
// pointer is checked before it is followed; what fails a check is counted as a fault, and
// the faults make one note.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/read.h"

namespace dbx_index {

constexpr uint32_t file_header_size = 0x24bc;
constexpr uint32_t header_item_count = 0xc4;
constexpr uint32_t header_tree_root = 0xe4;
// The words after it: the roots of a message store's second tree and of Folders.dbx's
// second and third.
constexpr uint32_t header_other_roots = 2;
constexpr uint32_t tree_node_size = 0x27c;
constexpr uint32_t tree_node_entries = 0x33;

// The kind of file a header names.
enum class file_kind { none, messages, folders };

// The faults met while reading, by kind, and the one note they make.
class faults {
  public:
    // `count` more of the kind described by `one` (for one) and `many` (for more).
    void add(const char* one, const char* many, uint32_t count = 1);
    // A fault said once, as written.
    void say(std::string text);
    bool any() const { return !kinds_.empty() || !sayings_.empty(); }
    // "the store's index is damaged: ...; what it still says is used", or empty.
    std::string note(std::string_view what) const;

  private:
    struct kind {
        const char* one;
        const char* many;
        uint32_t count;
    };
    std::vector<kind> kinds_;
    std::vector<std::string> sayings_;
};

// Positional reads of a store's bytes, from `base` in the source and within `limit` bytes of
// it, through a window that keeps the bytes of nearby objects.
class object_reader {
  public:
    object_reader(platform::byte_source& source, uint64_t base, uint64_t limit)
        : source_(source), base_(base), limit_(limit) {}
    uint64_t limit() const { return limit_; }
    // True when [offset, offset + length) lies after the file header and within the limit.
    bool holds(uint64_t offset, uint64_t length) const {
        return offset >= file_header_size && offset % 4 == 0 && length <= limit_ &&
               offset <= limit_ - length;
    }
    // The `length` bytes at `offset`; nullopt when they cannot all be read.
    std::optional<std::string_view> read(uint64_t offset, size_t length);

  private:
    platform::byte_source& source_;
    uint64_t base_, limit_;
    std::string window_;
    uint64_t window_start_ = 0;
};

// The header's kind, item count and tree root; kind none when the file does not begin with a
// store's header.
struct file_header {
    file_kind kind = file_kind::none;
    uint32_t items = 0;
    uint32_t root = 0;
    uint32_t other_roots[header_other_roots] = {};
};
file_header read_file_header(object_reader& reader);

// The nonzero values of the tree from `root`, in order. Nodes outside the file, that are no
// node, that state more entries than a node holds or are reached again are faults in
// `found`, as are counts of a subtree's values that disagree with what it holds.
// `stated`, the count the file header states, only sizes the result ahead, where plausible.
std::vector<uint32_t> tree_values(object_reader& reader, uint32_t root, faults& found,
                                  uint32_t stated = 0);

// One indexed info object: its fields by number.
class indexed_info {
  public:
    std::optional<uint32_t> number(uint8_t field) const;
    uint64_t filetime(uint8_t field) const;  // 0 when absent
    // Up to its 0 byte, in the reader's window (until its next read); empty when absent.
    std::string_view text(uint8_t field) const;
    bool fields_outside = false;  // a field pointed past the object's data

  private:
    friend std::optional<indexed_info> read_indexed_info(object_reader&, uint32_t);
    struct field {
        uint8_t number;
        bool direct;
        uint32_t value;  // the value, or where its bytes start in `data`
        uint32_t end;    // where its bytes end in `data`
    };
    const field* find(uint8_t number) const;
    // The fields a message or folder info holds fit; an object stating more keeps its first.
    static constexpr unsigned most_fields = 64;
    static constexpr unsigned field_numbers = 0x80;  // a field's number has 7 bits
    field fields_[most_fields];
    unsigned count_ = 0;
    uint8_t first_[field_numbers] = {};  // by number: 1 + the place of its first field; 0 none
    std::string_view data_;              // in the reader's window
};
// The object at `offset`; nullopt when no indexed info object lies there whole. Its fields
// are read from the reader's window: until the reader's next read.
std::optional<indexed_info> read_indexed_info(object_reader& reader, uint32_t offset);

}  // namespace dbx_index
