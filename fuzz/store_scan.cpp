// The block scan on any file: the fast scan, reading a few bytes at a time so that every
// header straddles read boundaries, must give the literal reference scan's lists, links,
// chain heads and standard output exactly.

#include <cstdint>
#include <string>

#include "dbx/scan.h"
#include "fuzz/store_fuzz_support.h"
#include "tests/dbx/reference_scan.h"

namespace {

int32_t index_of(const dbx_block_list_t& list, const dbx_block_t* block) {
    return int32_t(block - list.blocks.data());
}

bool same_block(const dbx_block_t& a, const dbx_block_t& b) {
    return a.offset == b.offset && a.next_offset == b.next_offset && a.data_size == b.data_size &&
           a.prev == b.prev && a.next == b.next;
}

void require_same_list(const dbx_block_list_t& fast, const dbx_block_list_t& literal, int which) {
    std::string list = "list " + std::to_string(which) + ": ";
    require(fast.block_count == literal.block_count, list + "block counts differ");
    require(fast.chain_count == literal.chain_count, list + "chain counts differ");
    require(
        fast.blocks.size() == literal.blocks.size() && fast.chains.size() == literal.chains.size(),
        list + "array sizes differ");
    for (size_t i = 0; i < fast.blocks.size(); i++)
        require(same_block(fast.blocks[i], literal.blocks[i]),
                list + "entry " + std::to_string(i) + " differs");
    for (size_t i = 0; i < fast.chains.size(); i++)
        require(index_of(fast, fast.chains[i]) == index_of(literal, literal.chains[i]),
                list + "chain head " + std::to_string(i) + " differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = write_input(fuzz_folder() + "/scanned.dbx", data, size);
    // A read size of 1 to 64 bytes, picked by the input's length.
    _dbx_set_scan_chunk_size(1 + size % 64);
    dbx_t* fast = nullptr;
    caught_output fast_output = catch_output([&] { fast = dbx_open(path.c_str()); });
    require(fast != nullptr, "the scan cannot open the store: " + fast_output.err);
    dbx_t* literal = nullptr;
    caught_output literal_output = catch_output([&] { literal = reference_open(path.c_str()); });
    require(fast_output.out == literal_output.out, "standard output differs");
    for (int i = 0; i < 2; i++) require_same_list(fast->lists[i], literal->lists[i], i);
    dbx_close(fast);
    dbx_close(literal);
    return 0;
}
