#include "msg/message.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>

#include "msg/message_builder.h"
#include "msg/mime_reader.h"
#include "msg/property_set.h"
#include "platform/fs.h"
#include "platform/memory.h"
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
        if (!platform::append_ansi(piece, bytes)) return platform::utf16_to_utf8(text);
        at = end;
    }
    return bytes;
}

message_text& message_text::operator=(std::string bytes) {
    present_ = true;
    bytes_ = std::move(bytes);
    std::u16string().swap(storage_);
    length_ = 0;
    return *this;
}

std::string_view message_text::bytes() const {
    if (!storage_.empty())
        return std::string_view(reinterpret_cast<const char*>(storage_.data()), length_);
    return bytes_;
}

void message_text::take_back(std::u16string text) {
    *this = std::string();
    storage_ = std::move(text);
    size_t stopped_at = 0;
    if (taken_back_in_place(stopped_at)) {
        // The storage's second half held characters now read; its memory is not needed.
        char* storage = reinterpret_cast<char*>(storage_.data());
        platform::give_back_pages(storage + length_, storage_.size() * sizeof(char16_t) - length_);
        return;
    }
    restore_text(stopped_at);
    *this = message_bytes(storage_);
}

// Each piece's bytes go where the text's characters lay: behind the characters still to be
// read while a character makes at most two bytes, as in the code pages of the time. False,
// with where the reading stopped, when a piece does not go back exactly or would not fit.
bool message_text::taken_back_in_place(size_t& stopped_at) {
    std::u16string_view text = storage_;
    char* out = reinterpret_cast<char*>(storage_.data());
    std::string piece_bytes;
    for (size_t at = 0; at < text.size();) {
        size_t end = piece_end(text, at);
        piece_bytes.clear();
        if (!platform::append_ansi(text.substr(at, end - at), piece_bytes) ||
            length_ + piece_bytes.size() > end * sizeof(char16_t)) {
            stopped_at = at;
            return false;
        }
        std::memcpy(out + length_, piece_bytes.data(), piece_bytes.size());
        length_ += piece_bytes.size();
        at = end;
    }
    return true;
}

// The characters before `read_up_to` were taken back exactly: they are read again from
// their bytes, and the text is whole once more.
void message_text::restore_text(size_t read_up_to) {
    std::u16string before = platform::ansi_bytes_to_utf16(
        std::string_view(reinterpret_cast<const char*>(storage_.data()), length_));
    storage_.replace(0, read_up_to, before);
    length_ = 0;
}

item build_item(std::string_view bytes, const std::optional<std::u16string>& to,
                const std::optional<std::u16string>& subject, bool sent) {
    message_facts facts{raw_value(to), raw_value(subject), sent};
    return build_item(read_mime_message(bytes), facts, bytes);
}

item build_item(const message_item& message) {
    return build_item(message.text.bytes(), message.to, message.subject, message.sent);
}

bool write_message(const message_item& item, const byte_sink& sink) {
    return write_message(build_item(item), sink);
}

// The file views the item.
bool write_message(const item& built, const byte_sink& sink) {
    compound_file file;
    file.set_clsid(compound_file::root, mail_message_clsid);
    std::deque<std::string> owned;

    int nameid = file.add_storage(compound_file::root, u"__nameid_version1.0");
    for (const char* stream :
         {"__substg1.0_00020102", "__substg1.0_00030102", "__substg1.0_00040102"}) {
        file.add_stream(nameid, ascii(stream), {});
    }

    add_item(file, compound_file::root, built, false, owned);
    return file.write(sink);
}

std::string write_message_file(const item& built, const std::string& path) {
    FILE* file = platform::create_new_file(path.c_str());
    if (!file) return "cannot write " + path + ": " + std::strerror(errno);
    bool written = write_message(built, [file](const char* data, size_t size) {
        return std::fwrite(data, 1, size, file) == size;
    });
    int error = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    return written ? std::string() : "cannot write " + path + ": " + std::strerror(error);
}

}  // namespace msg
