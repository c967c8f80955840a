// The built-in message store on arbitrary message texts: the MIME reader and the .msg
// writer must neither crash nor loop, and always write a whole compound file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "msg/message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    msg::message_item item;
    item.text = std::string(reinterpret_cast<const char*>(data), size);
    item.subject = u"Fuzz";
    item.to = u"Ann <ann@example.com>";
    item.sent = true;
    size_t written = 0;
    bool ok = msg::write_message(item, [&](const char*, size_t length) {
        written += length;
        return true;
    });
    // A compound file is whole sectors of 512 bytes, its header first.
    if (!ok || written < 1024 || written % 512 != 0) std::abort();

    // The same bytes read as UTF-16, as the store receives a text: taken back over their
    // own storage they must give what taking them back into a buffer of their own gives.
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * sizeof(char16_t));
    msg::message_text taken;
    taken.take_back(text);
    if (taken.bytes() != msg::message_bytes(text)) std::abort();
    return 0;
}
