#include "platform/digest.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <vector>

#include "platform/read.h"

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

}  // namespace

#ifdef _WIN32
struct digest_stream::state {
    BCRYPT_ALG_HANDLE algorithms[3] = {nullptr, nullptr, nullptr};
    BCRYPT_HASH_HANDLE hashes[3] = {nullptr, nullptr, nullptr};
    int count = 2;
    bool ok = true;
};

digest_stream::digest_stream(bool sha1) : state_(std::make_unique<state>()) {
    LPCWSTR names[3] = {BCRYPT_MD5_ALGORITHM, BCRYPT_SHA256_ALGORITHM, BCRYPT_SHA1_ALGORITHM};
    state_->count = sha1 ? 3 : 2;
    for (int i = 0; i < state_->count; ++i)
        state_->ok =
            state_->ok &&
            BCryptOpenAlgorithmProvider(&state_->algorithms[i], names[i], nullptr, 0) == 0 &&
            BCryptCreateHash(state_->algorithms[i], &state_->hashes[i], nullptr, 0, nullptr, 0,
                             0) == 0;
}

digest_stream::~digest_stream() {
    for (int i = 0; i < 3; ++i) {
        if (state_->hashes[i]) BCryptDestroyHash(state_->hashes[i]);
        if (state_->algorithms[i]) BCryptCloseAlgorithmProvider(state_->algorithms[i], 0);
    }
}

void digest_stream::add(std::string_view bytes) {
    for (size_t at = 0; state_->ok && at < bytes.size(); at += 1u << 30) {
        ULONG piece = ULONG(std::min<size_t>(bytes.size() - at, 1u << 30));
        for (int i = 0; i < state_->count; ++i)
            state_->ok =
                state_->ok &&
                BCryptHashData(state_->hashes[i],
                               reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + at)),
                               piece, 0) == 0;
    }
}

digests digest_stream::finish() {
    std::string values[3];
    for (int i = 0; i < state_->count && state_->ok; ++i) {
        DWORD length = 0, got = 0;
        state_->ok =
            BCryptGetProperty(state_->algorithms[i], BCRYPT_HASH_LENGTH,
                              reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0) == 0;
        std::vector<unsigned char> value(length);
        state_->ok =
            state_->ok && BCryptFinishHash(state_->hashes[i], value.data(), length, 0) == 0;
        values[i] = hex(value.data(), value.size());
    }
    if (!state_->ok) throw std::runtime_error("the system's hash functions failed");
    return {values[0], values[1], values[2]};
}
#else
struct digest_stream::state {
    EVP_MD_CTX* contexts[3] = {nullptr, nullptr, nullptr};
    int count = 2;
    bool ok = true;
};

digest_stream::digest_stream(bool sha1) : state_(std::make_unique<state>()) {
    const EVP_MD* algorithms[3] = {EVP_md5(), EVP_sha256(), EVP_sha1()};
    state_->count = sha1 ? 3 : 2;
    for (int i = 0; i < state_->count; ++i) {
        state_->contexts[i] = EVP_MD_CTX_new();
        state_->ok = state_->ok && state_->contexts[i] != nullptr &&
                     EVP_DigestInit_ex(state_->contexts[i], algorithms[i], nullptr) == 1;
    }
}

digest_stream::~digest_stream() {
    for (EVP_MD_CTX* context : state_->contexts) EVP_MD_CTX_free(context);
}

void digest_stream::add(std::string_view bytes) {
    for (int i = 0; i < state_->count; ++i)
        state_->ok =
            state_->ok && EVP_DigestUpdate(state_->contexts[i], bytes.data(), bytes.size()) == 1;
}

digests digest_stream::finish() {
    std::string values[3];
    for (int i = 0; i < state_->count && state_->ok; ++i) {
        unsigned char value[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        state_->ok = EVP_DigestFinal_ex(state_->contexts[i], value, &length) == 1;
        values[i] = hex(value, length);
    }
    if (!state_->ok) throw std::runtime_error("libcrypto's hash functions failed");
    return {values[0], values[1], values[2]};
}
#endif

digests digest_of(std::string_view bytes) {
    digest_stream stream;
    stream.add(bytes);
    return stream.finish();
}

std::optional<digests> digest_of_file(const char* path) {
    source_opening opening = open_file_source(path);
    if (!opening.source) {
        errno = opening.error;
        return std::nullopt;
    }
    byte_source& file = *opening.source;
    digest_stream stream;
    std::vector<char> buffer(size_t(1) << 20);
    uint64_t at = 0;
    read_outcome read;
    while (at < file.size()) {
        read = file.read(at, buffer.data(), buffer.size());
        stream.add(std::string_view(buffer.data(), read.count));
        at += read.count;
        if (read.error != 0 || read.count == 0) break;
    }
    if (at < file.size()) {
        errno = read.error > 0 ? read.error : EIO;
        return std::nullopt;
    }
    return stream.finish();
}

}  // namespace platform
