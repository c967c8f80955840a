#include "msg/message.h"

#include <deque>

#include "msg/message_builder.h"
#include "msg/mime_reader.h"
#include "msg/property_set.h"
#include "platform/text.h"

namespace msg {

namespace {

const compound_file::clsid mail_message_clsid = {0x0B, 0x0D, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

constexpr size_t piece_size = 1 << 15;  // small enough to reuse heap memory, not map it anew

// Pieces end after a line break, so no character is ever cut in two.
size_t piece_end(std::u16string_view text, size_t at) {
    if (text.size() - at <= piece_size) return text.size();
    size_t end = text.find(u'\n', at + piece_size);
    return end == std::u16string_view::npos ? text.size() : end + 1;
}

std::optional<std::string> raw_value(const std::optional<std::u16string>& text) {
    if (!text) return std::nullopt;
    return message_bytes(*text);
}

}  // namespace

std::string message_bytes(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());  // one byte a character in the common code pages
    for (size_t at = 0; at < text.size();) {
        size_t end = piece_end(text, at);
        std::u16string_view piece = text.substr(at, end - at);
        std::string piece_bytes = platform::utf16_to_ansi(piece);
        if (platform::ansi_to_utf16(piece_bytes) != piece) return platform::utf16_to_utf8(text);
        bytes += piece_bytes;
        at = end;
    }
    return bytes;
}

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

    // The parts hold views of the text; they live until the file is written.
    mime_part message = read_mime_message(item.text ? std::string_view(*item.text) : "");
    message_facts facts{raw_value(item.to), raw_value(item.subject), item.sent};
    build_message({file, compound_file::root, owned, keep, false}, message, facts);
    return file.write(sink);
}

}  // namespace msg
