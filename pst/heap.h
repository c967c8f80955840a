#pragma once
// The heap of a node (allocations of up to 3580 bytes over pages of one block each) and the
// B-tree kept in such a heap, on which property and table contexts are built.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pst {

// Largest single allocation of a heap; larger values go into subnodes.
constexpr size_t pst_heap_item_max = 3580;

// What a heap holds, as its header says.
enum : uint8_t {
    pst_heap_of_table = 0x7C,
    pst_heap_of_btree = 0xB5,
    pst_heap_of_properties = 0xBC
};

class pst_heap {
  public:
    explicit pst_heap(uint8_t client_signature) : signature_(client_signature) {}

    // Returns the allocation's heap id; `data` holds at most pst_heap_item_max bytes.
    uint32_t allocate(std::string_view data);
    // New bytes, of the same size, for an allocation made earlier.
    void rewrite(uint32_t hid, std::string_view data);
    // The allocation the heap's user starts from (a B-tree or a table header).
    void set_root(uint32_t hid) { root_ = hid; }
    // The finished pages, each the data of one block; the heap is spent.
    std::vector<std::string> take_pages();

  private:
    struct page {
        std::string data;  // header and allocations, page map not yet
        std::vector<uint16_t> starts;
    };
    void open_page();

    std::vector<page> pages_;
    uint8_t signature_;
    uint32_t root_ = 0;
};

// The header of a B-tree, reserved before anything else it describes is allocated: readers
// expect a heap's first allocation to be one.
uint32_t pst_reserve_btree(pst_heap& heap);
// The B-tree of a reserved header over records of `key_size` + `data_size` bytes each, given
// sorted by key with no key twice.
void pst_build_btree(pst_heap& heap, uint32_t header_hid, int key_size, int data_size,
                     const std::vector<std::string>& records);

}  // namespace pst
