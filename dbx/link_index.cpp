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
    if (next_offset > offset) waiting_ = n;
}

// The next block lies earlier in the file: link to it unless it is already taken.
void link_index::link_successor(dbx_block_list_t& list, int32_t n) {
    uint32_t target = list.blocks[n].next_offset;
    if (target == 0 || target >= list.blocks[n].offset) return;
    int32_t k = find_offset(list, n, target);
    if (k < 0 || list.blocks[k].prev != -1) return;
    link(list, n, k);
}

// The entry before index `end` at `offset`, or -1. The block named is nearly always one
// of the last few found, so the search gallops back from the end before it halves.
int32_t link_index::find_offset(const dbx_block_list_t& list, int32_t end, uint32_t offset) {
    const dbx_block_t* blocks = list.blocks.data();
    int32_t high = end;  // entries at high and above lie beyond the offset
    int32_t stride = 1;
    int32_t low = end - 1;
    while (low > 0 && blocks[low].offset > offset) {
        high = low;
        low = std::max(0, end - 1 - 2 * stride);
        stride *= 2;
    }
    auto found = std::lower_bound(
        blocks + std::max(low, 0), blocks + high, offset,
        [](const dbx_block_t& block, uint32_t wanted) { return block.offset < wanted; });
    if (found == blocks + high || found->offset != offset) return -1;
    return int32_t(found - blocks);
}

// The nearest earlier entry naming this block becomes its predecessor. That is the entry
// found just before when it names this block, which is how most messages are laid out;
// otherwise the table knows it. No later block can lie at this offset, so the entry is
// forgotten whether or not it links.
void link_index::link_predecessor(dbx_block_list_t& list, int32_t n) {
    uint32_t offset = list.blocks[n].offset;
    int32_t k = -1;
    if (waiting_ >= 0) {
        if (list.blocks[waiting_].next_offset == offset) {
            k = waiting_;
            take(offset);  // earlier entries naming this block: never wanted again
        } else {
            put(list.blocks[waiting_].next_offset, waiting_);
        }
        waiting_ = -1;
    }
    if (k < 0) k = take(offset);
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
    slots_.assign(old.empty() ? 16 : old.size() * 2, slot{0, 0});  // a carved store may hold a handful of blocks
    used_ = 0;
    for (const slot& entry : old)
        if (entry.key != 0) put(entry.key, entry.index);
}
