#include "platform/digest.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// bcrypt.h needs the types windows.h defines first.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace platform {

namespace {

std::string hex(const unsigned char* bytes, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

#ifdef _WIN32
// One CNG hash of the bytes, fed in pieces the ULONG length can hold.
std::string digest_with(LPCWSTR algorithm_name, std::string_view bytes) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    DWORD length = 0, got = 0;
    std::vector<unsigned char> value;
    bool ok = BCryptOpenAlgorithmProvider(&algorithm, algorithm_name, nullptr, 0) == 0 &&
              BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                sizeof length, &got, 0) == 0 &&
              BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    for (size_t at = 0; ok && at < bytes.size(); at += 1u << 30) {
        ULONG piece = ULONG(std::min<size_t>(bytes.size() - at, 1u << 30));
        ok = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + at)),
                            piece, 0) == 0;
    }
    if (ok) {
        value.resize(length);
        ok = BCryptFinishHash(hash, value.data(), length, 0) == 0;
    }
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok) throw std::runtime_error("the system's hash functions failed");
    return hex(value.data(), value.size());
}
#else
std::string digest_with(const EVP_MD* algorithm, std::string_view bytes) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), value, &length, algorithm, nullptr) != 1)
        throw std::runtime_error("libcrypto's hash functions failed");
    return hex(value, length);
}
#endif

}  // namespace

digests digest_of(std::string_view bytes) {
#ifdef _WIN32
    return {digest_with(BCRYPT_MD5_ALGORITHM, bytes), digest_with(BCRYPT_SHA256_ALGORITHM, bytes)};
#else
    return {digest_with(EVP_md5(), bytes), digest_with(EVP_sha256(), bytes)};
#endif
}

}  // namespace platform
