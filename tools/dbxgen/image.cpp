#include <algorithm>
#include <cstring>

#include "platform/fs.h"
#include "tools/dbxgen/dbxgen.h"

namespace dbxgen {

size_t live_blocks_for(size_t length) {
    return std::max<size_t>(1, (length + data_area - 1) / data_area);
}

size_t freed_blocks_for(size_t length) {
    return std::max<size_t>(1, (length + freed_text - 1) / freed_text);
}

random_source::random_source(uint64_t seed) : state_(seed) {}

// splitmix64: small, fast and the same everywhere.
uint64_t random_source::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::vector<uint32_t> lay_out_blocks(uint32_t start, size_t count, block_order order,
                                     random_source& random) {
    std::vector<uint32_t> offsets(count);
    for (size_t i = 0; i < count; i++) offsets[i] = start + uint32_t(i) * block_size;
    if (order == block_order::reversed) std::reverse(offsets.begin(), offsets.end());
    if (order == block_order::shuffled)
        for (size_t i = count; i > 1; i--) std::swap(offsets[i - 1], offsets[random.below(i)]);
    return offsets;
}

void store_image::put_signature() {
    put_bytes(0, store_signature.data(), store_signature.size());
}

void store_image::resize(size_t size, uint8_t fill) {
    bytes_.resize(size, fill);
}

void store_image::reserve_to(uint64_t end) {
    if (end > this->end()) bytes_.resize(size_t(end - origin_), 0);
}

void store_image::put_word(uint64_t offset, uint32_t value) {
    uint8_t le[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                     uint8_t(value >> 24)};
    put_bytes(offset, le, 4);
}

void store_image::put_bytes(uint64_t offset, const void* data, size_t length) {
    reserve_to(offset + length);
    if (length > 0) std::memcpy(bytes_.data() + (offset - origin_), data, length);
}

void store_image::put_live_header(uint32_t offset, uint32_t used, uint32_t next_offset) {
    put_word(offset, offset);
    put_word(offset + 4, 512);
    put_word(offset + 8, used);
    put_word(offset + 12, next_offset);
}

void store_image::put_freed_header(uint32_t offset, uint32_t next_offset, uint32_t first_word) {
    put_word(offset, offset);
    put_word(offset + 4, 508);
    put_word(offset + 8, 528);
    put_word(offset + 12, next_offset);
    put_word(offset + 16, first_word);
}

void store_image::add_message(std::string_view text, std::span<const uint32_t> offsets) {
    for (size_t i = 0; i < offsets.size(); i++) {
        size_t begin = std::min(text.size(), i * data_area);
        size_t used = std::min<size_t>(data_area, text.size() - begin);
        uint32_t next = i + 1 < offsets.size() ? offsets[i + 1] : 0;
        put_live_header(offsets[i], uint32_t(used), next);
        reserve_to(offsets[i] + block_size);
        put_text(offsets[i] + 16, text.substr(begin, used));
    }
}

void store_image::add_freed_fragment(std::string_view text, std::span<const uint32_t> offsets,
                                     uint32_t first_word) {
    for (size_t i = 0; i < offsets.size(); i++) {
        size_t begin = std::min(text.size(), i * freed_text);
        size_t used = std::min<size_t>(freed_text, text.size() - begin);
        uint32_t next = i + 1 < offsets.size() ? offsets[i + 1] : 0;
        put_freed_header(offsets[i], next, first_word);
        reserve_to(offsets[i] + block_size);
        put_text(offsets[i] + 20, text.substr(begin, used));
    }
}

bool store_image::write_file(const std::string& path) const {
    FILE* file = platform::open_file(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written =
        bytes_.empty() || std::fwrite(bytes_.data(), 1, bytes_.size(), file) == bytes_.size();
    return std::fclose(file) == 0 && written;
}

store_image ring_image(uint32_t stores, std::string& text) {
    store_image image;
    for (uint32_t s = 0; s < stores; ++s) {
        uint32_t own = 16 + 528 * s, next = 16 + 528 * ((s + 1) % stores);
        std::string part = s == 0 ? "From: ring@example.com\r\nSubject: ring\r\n\r\n"
                                  : "part " + std::to_string(s) + "\r\n";
        uint64_t at = 4096 * (s + 1) + own;
        for (uint32_t word : {own, 512u, uint32_t(part.size()), next})
            image.put_word(at, word), at += 4;
        image.put_text(at, part);
        text += part;
    }
    image.resize(4096 * (stores + 2));
    return image;
}

}  // namespace dbxgen
