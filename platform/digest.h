#pragma once
// Message digests from the system's own libraries: OpenSSL's libcrypto off Windows, CNG
// on Windows.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// MD5 and SHA-256 of some bytes, as lower-case hexadecimal text; SHA-1 too when asked.
struct digests {
    std::string md5;
    std::string sha256;
    std::string sha1;  // empty unless asked for
};
digests digest_of(std::string_view bytes);

// MD5 and SHA-256 (and with `sha1`, SHA-1) of bytes given piece by piece.
class digest_stream {
  public:
    explicit digest_stream(bool sha1 = false);
    ~digest_stream();
    digest_stream(const digest_stream&) = delete;
    digest_stream& operator=(const digest_stream&) = delete;
    void add(std::string_view bytes);
    digests finish();

  private:
    struct state;
    std::unique_ptr<state> state_;
};

// The digests of a file's bytes (UTF-8 path), read by position; nullopt with errno set
// when it cannot be read whole.
std::optional<digests> digest_of_file(const char* path);

}  // namespace platform
