#include "msg/property_set.h"

#include <bit>
#include <cstdio>

namespace msg {

namespace {

constexpr uint16_t type_unicode = 0x001F, type_binary = 0x0102, type_object = 0x000D;

std::u16string substg_name(uint32_t tag) {
    char name[24];
    std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
    return ascii(name);
}

}  // namespace

std::u16string ascii(const char* s) {
    return std::u16string(s, s + std::char_traits<char>::length(s));
}

void put_le(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

void property_set::string(uint32_t tag, std::u16string_view text) {
    if (text.empty()) return;
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

void property_set::binary(uint32_t tag, std::string_view bytes) {
    if (bytes.empty()) return;
    file_.add_stream(storage_, substg_name(tag), bytes);
    values_[tag] = bytes.size();
}

int property_set::object(uint32_t tag) {
    // An object's entry carries no size of its own.
    values_[tag] = 0xFFFFFFFF;
    return file_.add_storage(storage_, substg_name(tag));
}

void property_set::finish(std::string header) {
    for (auto [tag, value] : values_) {
        uint16_t type = tag & 0xFFFF;
        put_le(header, tag, 4);
        put_le(header, 0x00000006, 4);  // readable, writable
        if (type == type_unicode || type == type_binary || type == type_object) {
            put_le(header, value, 4);
            put_le(header, 0, 4);
        } else {
            put_le(header, value, 8);
        }
    }
    owned_.push_back(std::move(header));
    file_.add_stream(storage_, u"__properties_version1.0", owned_.back());
}

}  // namespace msg
