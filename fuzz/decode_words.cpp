// Encoded-word decoding of arbitrary header values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "header/words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A value ends at its first NUL, as in a message.
    std::string value(reinterpret_cast<const char*>(data), size);
    std::string decoded;
    if (hdr_decode_words(value.c_str(), &decoded) != 0) std::abort();
    // Decoding only ever shortens: every encoded word is longer than the octets it carries.
    if (decoded.size() > value.size()) std::abort();
    return 0;
}
