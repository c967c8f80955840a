#include "pst/heap.h"

#include <algorithm>
#include <stdexcept>

#include "platform/byte_layout.h"
#include "pst/ndb.h"

namespace pst {

using platform::put_le;
using platform::put_le_at;

namespace {

constexpr size_t first_header_size = 12, page_header_size = 2, bitmap_header_size = 66;
constexpr size_t max_allocations_per_page = 2047;  // an 11-bit index, from 1

// Every 128th page from the 9th carries the fill levels of the 128 pages from it.
bool is_bitmap_page(size_t index) {
    return index >= 8 && (index - 8) % 128 == 0;
}

size_t header_size(size_t index) {
    if (index == 0) return first_header_size;
    return is_bitmap_page(index) ? bitmap_header_size : page_header_size;
}

size_t even(size_t n) {
    return n + (n & 1);
}

size_t map_size(size_t allocations) {
    return 4 + 2 * (allocations + 1);
}

// How full a page is, in the sixteen steps readers use to find room.
uint8_t fill_level(size_t used) {
    static const size_t at_least_free[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                           512,  256,  128,  64,   32,   16,   8};
    size_t free = used < pst_block_data_max ? pst_block_data_max - used : 0;
    uint8_t level = 0;
    while (level < 15 && free < at_least_free[level]) ++level;
    return level;
}

}  // namespace

void pst_heap::open_page() {
    page fresh;
    fresh.data.assign(header_size(pages_.size()), '\0');
    pages_.push_back(std::move(fresh));
}

uint32_t pst_heap::allocate(std::string_view data) {
    if (data.size() > pst_heap_item_max) throw std::length_error("heap allocation too large");
    auto fits = [&](const page& p) {
        return p.starts.size() < max_allocations_per_page &&
               even(p.data.size() + data.size()) + map_size(p.starts.size() + 1) <=
                   pst_block_data_max;
    };
    if (pages_.empty() || !fits(pages_.back())) open_page();
    page& target = pages_.back();
    target.starts.push_back(static_cast<uint16_t>(target.data.size()));
    target.data.append(data);
    uint32_t index = static_cast<uint32_t>(target.starts.size());
    return (index << 5) | (static_cast<uint32_t>(pages_.size() - 1) << 16);
}

void pst_heap::rewrite(uint32_t hid, std::string_view data) {
    page& target = pages_.at(hid >> 16);
    size_t index = ((hid >> 5) & 0x7FF) - 1;
    target.data.replace(target.starts.at(index), data.size(), data);
}

std::vector<std::string> pst_heap::take_pages() {
    std::vector<std::string> out;
    std::vector<uint8_t> levels;
    for (page& p : pages_) {
        std::string image = std::move(p.data);
        size_t used = image.size();
        image.resize(even(image.size()), '\0');
        size_t map_offset = image.size();
        put_le(image, p.starts.size(), 2);
        put_le(image, 0, 2);
        for (uint16_t start : p.starts) put_le(image, start, 2);
        put_le(image, used, 2);
        put_le_at(image, 0, map_offset, 2);
        levels.push_back(fill_level(image.size()));
        out.push_back(std::move(image));
    }
    pages_.clear();
    auto put_levels = [&](std::string& image, size_t at, size_t first, size_t count) {
        for (size_t i = 0; i < count && first + i < levels.size(); ++i) {
            uint8_t level = levels[first + i];
            image[at + i / 2] = static_cast<char>(image[at + i / 2] | (i % 2 ? level << 4 : level));
        }
    };
    if (!out.empty()) {
        std::string& first = out[0];
        first[2] = static_cast<char>(0xEC);
        first[3] = static_cast<char>(signature_);
        put_le_at(first, 4, root_, 4);
        put_levels(first, 8, 0, 8);
    }
    for (size_t i = 8; i < out.size(); i += 128) put_levels(out[i], 2, i, 128);
    return out;
}

uint32_t pst_reserve_btree(pst_heap& heap) {
    return heap.allocate(std::string(8, '\0'));
}

void pst_build_btree(pst_heap& heap, uint32_t header_hid, int key_size, int data_size,
                     const std::vector<std::string>& records) {
    std::string header;
    header.push_back(static_cast<char>(pst_heap_of_btree));
    header.push_back(static_cast<char>(key_size));
    header.push_back(static_cast<char>(data_size));
    uint8_t levels = 0;
    uint32_t root = 0;
    if (!records.empty()) {
        // Each level is packed into nodes of whole records; the level above holds each
        // node's first key and heap id, until one node is left.
        std::vector<std::string> level = records;
        size_t record_size = size_t(key_size + data_size);
        for (;;) {
            size_t per_node = pst_heap_item_max / record_size;
            std::vector<std::string> above;
            uint32_t hid = 0;
            for (size_t i = 0; i < level.size(); i += per_node) {
                std::string node;
                for (size_t j = i; j < std::min(level.size(), i + per_node); ++j) node += level[j];
                hid = heap.allocate(node);
                std::string entry = level[i].substr(0, size_t(key_size));
                put_le(entry, hid, 4);
                above.push_back(std::move(entry));
            }
            if (above.size() == 1) {
                root = hid;
                break;
            }
            level = std::move(above);
            record_size = size_t(key_size + 4);
            ++levels;
        }
    }
    header.push_back(static_cast<char>(levels));
    put_le(header, root, 4);
    heap.rewrite(header_hid, header);
}

}  // namespace pst
