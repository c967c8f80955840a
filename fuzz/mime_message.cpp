// The item builder and the .msg writer on arbitrary message texts: they must neither crash
// nor loop, and always write a whole compound file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "item/builder.h"
#include "msg/message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    item::message built = item::build_item(text, "Ann <ann@example.com>", "Fuzz", true);
    size_t written = 0;
    bool ok = msg::write_message(built, [&](const char*, size_t length) {
        written += length;
        return true;
    });
    // A compound file is whole sectors of 512 bytes, its header first.
    if (!ok || written < 1024 || written % 512 != 0) std::abort();
    return 0;
}
