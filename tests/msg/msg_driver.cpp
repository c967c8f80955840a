#include "msg_driver.h"

#include <gtest/gtest.h>

#include "item/builder.h"
#include "msg/message.h"
#include "platform/text.h"

namespace {

// The bytes a mailer of the time wrote: the ANSI code page's where it has every character,
// else UTF-8.
std::string bytes_of(const std::u16string& text) {
    std::string bytes;
    return platform::append_ansi(text, bytes) ? bytes : platform::utf16_to_utf8(text);
}

std::optional<std::string> bytes_of(const std::optional<std::u16string>& text) {
    if (!text) return std::nullopt;
    return bytes_of(*text);
}

}  // namespace

std::string save_message_file(const std::string& folder, const std::u16string& name,
                              const msg_input& input) {
    std::string bytes = input.text ? bytes_of(*input.text) : std::string();
    item::message built =
        item::build_item(bytes, bytes_of(input.to), bytes_of(input.subject), input.sent);
#ifdef _WIN32
    std::string path = folder + "\\" + platform::utf16_to_utf8(name);
#else
    std::string path = folder + "/" + platform::utf16_to_utf8(name);
#endif
    std::string failure = msg::write_message_file(built, path);
    EXPECT_EQ(failure, "");
    return path;
}

std::u16string body_of(const std::u16string& text) {
    size_t end = text.find(u"\r\n\r\n");
    return end == std::u16string::npos ? std::u16string() : text.substr(end + 4);
}
