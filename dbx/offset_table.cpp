#include "dbx/offset_table.h"

size_t offset_table::home(uint32_t key) const {
    // Keys are multiples of 4; Fibonacci hashing spreads them over the table.
    uint64_t mixed = uint64_t(key >> 2) * 0x9E3779B97F4A7C15ull;
    return size_t(mixed >> 32) & (slots_.size() - 1);
}

size_t offset_table::slot_of(uint32_t key) const {
    size_t mask = slots_.size() - 1;
    size_t i = home(key);
    while (slots_[i].key != key && slots_[i].key != 0) i = (i + 1) & mask;
    return i;
}

void offset_table::put(uint32_t key, int32_t value) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    slot& at = slots_[slot_of(key)];
    if (at.key == 0) used_++;
    at = slot{key, value};
}

int32_t offset_table::find(uint32_t key) const {
    if (used_ == 0) return -1;
    const slot& at = slots_[slot_of(key)];
    return at.key == key ? at.value : -1;
}

// The slots that follow in the probe run move back to close the gap, so no tombstones
// build up.
int32_t offset_table::take(uint32_t key) {
    if (used_ == 0) return -1;
    size_t mask = slots_.size() - 1;
    size_t hole = slot_of(key);
    if (slots_[hole].key != key) return -1;
    int32_t value = slots_[hole].value;
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
    return value;
}

void offset_table::grow() {
    std::vector<slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, slot{0, 0});
    used_ = 0;
    for (const slot& entry : old)
        if (entry.key != 0) put(entry.key, entry.value);
}
