#pragma once
// Message digests from the system's own libraries: OpenSSL's libcrypto off Windows, CNG
// on Windows.

#include <string>
#include <string_view>

namespace platform {

// MD5 and SHA-256 of some bytes, as lower-case hexadecimal text.
struct digests {
    std::string md5;
    std::string sha256;
};
digests digest_of(std::string_view bytes);

}  // namespace platform
