#pragma once
// A table from block offsets to numbers: open addressing with linear probing over a
// power-of-two number of slots, keys spread by Fibonacci hashing. Key 0 marks a free slot:
// no block lies at offset 0. It starts empty, takes no memory until the first entry, and
// starts small: a store carved from one cluster of a disk image needs a handful of slots.

#include <cstddef>
#include <cstdint>
#include <vector>

class offset_table {
  public:
    // Sets the value of `key`, replacing the one it had.
    void put(uint32_t key, int32_t value);
    // The value of `key`, or -1.
    int32_t find(uint32_t key) const;
    // Removes `key` and returns its value, or -1.
    int32_t take(uint32_t key);
    bool empty() const { return used_ == 0; }

  private:
    struct slot {
        uint32_t key;
        int32_t value;
    };
    size_t home(uint32_t key) const;
    size_t slot_of(uint32_t key) const;  // the key's slot, or the free slot ending its run
    void grow();

    std::vector<slot> slots_;
    size_t used_ = 0;
};
