// Charset-aware decoding of arbitrary header values and parameter values: whatever the
// input, the result is valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "header/decode.h"
#include "platform/text.h"

namespace {

void require_utf8(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        size_t length = platform::utf8_sequence_length(text, at);
        if (length == 0) std::abort();
        at += length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view value(reinterpret_cast<const char*>(data), size);
    require_utf8(hdr_decode_text(value));
    require_utf8(hdr_decode_parameter(value));
    return 0;
}
