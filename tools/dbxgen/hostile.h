#pragma once
// Hostile stores: the shapes a damaged, carved or malicious store file takes, each made
// with the counts its construction implies. Tests check the whole program against those
// counts; the fuzzers start from the small ones.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/dbxgen/dbxgen.h"

namespace dbxgen {

// What the scan must find in one list of a store.
struct list_counts {
    int blocks = 0;
    int chains = 0;
};

// A store made of a few stretches of bytes at their offsets; everything else is zero
// bytes (a sparse file where the system allows it).
struct hostile_store {
    uint64_t size = 0;
    std::vector<store_image> pieces;
    list_counts live, freed;
    // Files a save run writes: one per chain of either list.
    int saved() const { return live.chains + freed.chains; }
};

struct hostile_shape {
    std::string name;
    // The store is 4 GiB or more: only its first 4 GiB are scanned, and every 32-bit
    // next offset counts as within the file.
    bool large;
    // Small enough to seed a fuzzer (at most 64 KiB).
    bool seed;
    std::function<hostile_store()> make;
};

// Every shape, from the small damaged ones to the sparse stores of 4 and 6 GiB.
const std::vector<hostile_shape>& hostile_shapes();

// Writes the store to a file (UTF-8 path), sparse where the system allows; false on
// failure.
bool write_hostile_store(const hostile_store& store, const std::string& path);

}  // namespace dbxgen
