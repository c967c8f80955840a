#include "dbx/link_index.h"

#include <algorithm>

namespace {

void link(dbx_block_list_t& list, int32_t before, int32_t after) {
    list.blocks[before].next = after;
    list.blocks[after].prev = before;
    list.chain_count--;
}

}  // namespace

void link_index::add(dbx_block_list_t& list, uint32_t offset, uint32_t next_offset,
                     int32_t data_size) {
    list.blocks.push_back(dbx_block_t{offset, next_offset, data_size, -1, -1});
    list.block_count++;
    list.chain_count++;
    int32_t n = list.block_count - 1;
    link_successor(list, n);
    link_predecessor(list, n);
    // Only a later block can still take this one as its predecessor.
    if (next_offset > offset) put(next_offset, n);
}

// The next block lies earlier in the file: link to it unless it is already taken.
void link_index::link_successor(dbx_block_list_t& list, int32_t n) {
    uint32_t target = list.blocks[n].next_offset;
    if (target == 0 || target >= list.blocks[n].offset) return;
    auto end = list.blocks.begin() + n;
    auto found = std::lower_bound(list.blocks.begin(), end, target,
                                  [](const dbx_block_t& block, uint32_t offset) {
                                      return block.offset < offset;
                                  });
    if (found == end || found->offset != target || found->prev != -1) return;
    link(list, n, int32_t(found - list.blocks.begin()));
}

// The nearest earlier entry naming this block becomes its predecessor. No later block can
// lie at this offset, so the entry is forgotten whether or not it links.
void link_index::link_predecessor(dbx_block_list_t& list, int32_t n) {
    int32_t k = take(list.blocks[n].offset);
    if (k < 0 || list.blocks[k].next != -1) return;
    link(list, k, n);
}

size_t link_index::home(uint32_t key) const {
    // Keys are multiples of 4; Fibonacci hashing spreads them over the table.
    uint64_t mixed = uint64_t(key >> 2) * 0x9E3779B97F4A7C15ull;
    return size_t(mixed >> 32) & (slots_.size() - 1);
}

void link_index::put(uint32_t key, int32_t index) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    size_t mask = slots_.size() - 1;
    for (size_t i = home(key);; i = (i + 1) & mask) {
        if (slots_[i].key == key) {  // a later entry names the same block: it is nearer
            slots_[i].index = index;
            return;
        }
        if (slots_[i].key == 0) {
            slots_[i] = slot{key, index};
            used_++;
            return;
        }
    }
}

// Removes the key and returns its index, or -1. The slots that follow in the probe run
// move back to close the gap, so no tombstones build up.
int32_t link_index::take(uint32_t key) {
    if (used_ == 0) return -1;
    size_t mask = slots_.size() - 1;
    size_t i = home(key);
    while (slots_[i].key != key) {
        if (slots_[i].key == 0) return -1;
        i = (i + 1) & mask;
    }
    int32_t index = slots_[i].index;
    size_t hole = i;
    for (size_t j = (hole + 1) & mask; slots_[j].key != 0; j = (j + 1) & mask) {
        size_t wanted = home(slots_[j].key);
        // The entry at j may fill the hole unless its home lies cyclically in (hole, j].
        bool stays = hole <= j ? (hole < wanted && wanted <= j) : (hole < wanted || wanted <= j);
        if (stays) continue;
        slots_[hole] = slots_[j];
        hole = j;
    }
    slots_[hole] = slot{0, 0};
    used_--;
    return index;
}

void link_index::grow() {
    std::vector<slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, slot{0, 0});
    used_ = 0;
    for (const slot& entry : old)
        if (entry.key != 0) put(entry.key, entry.index);
}
