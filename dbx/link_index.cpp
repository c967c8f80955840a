#include "dbx/link_index.h"

#include <algorithm>

namespace {

// The room a list starts with when it was given none: a carved store from one cluster of
// a disk image holds about this many blocks.
constexpr size_t first_room = 8;

void link(dbx_block_list_t& list, int32_t before, int32_t after) {
    list.blocks[before].next = after;
    list.blocks[after].prev = before;
    list.chain_count--;
}

}  // namespace

void link_index::add(dbx_block_list_t& list, uint32_t offset, uint32_t next_offset,
                     int32_t data_size) {
    if (list.blocks.size() == list.blocks.capacity())
        list.blocks.reserve(std::max(first_room, list.blocks.capacity() * 2));
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
    int32_t k = find_block(list, n, target);
    if (k < 0 || list.blocks[k].prev != -1) return;
    link(list, n, k);
}

// The block named is nearly always one of the last few found, so the search gallops back
// from the end before it halves.
int32_t find_block(const dbx_block_list_t& list, int32_t end, uint32_t offset) {
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
            table_.take(offset);  // earlier entries naming this block: never wanted again
        } else {
            // An earlier entry naming the same block is farther: this one replaces it.
            table_.put(list.blocks[waiting_].next_offset, waiting_);
        }
        waiting_ = -1;
    }
    if (k < 0) k = table_.take(offset);
    if (k < 0 || list.blocks[k].next != -1) return;
    link(list, k, n);
}
