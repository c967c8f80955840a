#pragma once
// A message as Outlook holds it, independent of the file that holds it: its properties, its
// recipients and its attachments, each an object with properties of its own, an attachment
// possibly holding a whole message. Built once from the MIME text, written into a .msg file
// or a PST folder.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace item {

// The low 16 bits of a tag give the value's type.
enum : uint16_t {
    type_int32 = 0x0003,
    type_bool = 0x000B,
    type_object = 0x000D,
    type_int64 = 0x0014,
    type_unicode = 0x001F,
    type_systime = 0x0040,
    type_binary = 0x0102,
};
constexpr uint16_t property_type(uint32_t tag) {
    return static_cast<uint16_t>(tag & 0xFFFF);
}

// One value; which member holds it follows from the tag's type: fixed-size types in
// `fixed`, Unicode strings in `text`, binary values in `bytes`. A long text (a body) is
// held as UTF-8 in `text_utf8` instead: files store it as UTF-16 made a piece at a time
// while they are written, so it never exists whole in both forms. A binary value may view
// bytes of the message text instead (`viewed`, `bytes` empty), which then outlives the item.
struct property_value {
    uint64_t fixed = 0;
    std::u16string text;
    std::string bytes;
    std::string text_utf8;
    std::string_view viewed;
};

// Ordered by tag, so whatever is written from it never varies.
using property_map = std::map<uint32_t, property_value>;

// The bytes a value of variable size is stored as (text as UTF-16LE, anything else its
// `bytes`): how many there are (0 for fixed-size types), and the bytes themselves handed
// to `take` in order, in pieces; false as soon as `take` returns false.
using piece_taker = std::function<bool(std::string_view piece)>;
uint64_t stored_size(uint32_t tag, const property_value& value);
bool stored_pieces(uint32_t tag, const property_value& value, const piece_taker& take);

struct message;

struct attachment {
    property_map properties;
    std::unique_ptr<message> embedded;  // an attached message (attach method 5), else null
};

struct message {
    property_map properties;
    std::vector<property_map> recipients;
    std::vector<attachment> attachments;

    void set_fixed(uint32_t tag, uint64_t value) { properties[tag].fixed = value; }
    void set_text(uint32_t tag, std::u16string text) { properties[tag].text = std::move(text); }
    void set_bytes(uint32_t tag, std::string bytes) { properties[tag].bytes = std::move(bytes); }
};

}  // namespace item
