#pragma once
// The node database of a Unicode Personal Folders file: blocks, nodes, the two B-trees, the
// allocation maps, the density list and the header. Blocks are written as they are added;
// the B-trees, maps and header at finish(). No encoding of block data.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "item/item.h"
#include "pst/output.h"

namespace pst {

// Largest data a single data block holds.
constexpr size_t pst_block_data_max = 8176;

// One entry of a node's subnode tree.
struct pst_subnode {
    uint32_t nid = 0;
    uint64_t data_bid = 0;
    uint64_t sub_bid = 0;  // 0: none
};

class pst_ndb {
  public:
    explicit pst_ndb(pst_output& out);
    ~pst_ndb();

    // Data of any size: one block, or a data tree (XBLOCK/XXBLOCK) over blocks of at most
    // pst_block_data_max bytes. Returns the root block id; 0 for empty data.
    uint64_t add_data(std::string_view data);
    // The same for data that `source` hands to its taker in pieces, cut into blocks as it
    // comes, so it is never held whole.
    using data_source = std::function<bool(const item::piece_taker& take)>;
    uint64_t add_data(const data_source& source);
    // Data already cut into blocks (the pages of a heap): each page one block, kept as
    // given. Returns the root block id.
    uint64_t add_pages(const std::vector<std::string>& pages);
    // A subnode tree (SLBLOCK, or SIBLOCK over several); entries in any order. Returns the
    // root block id; 0 for none.
    uint64_t add_subnodes(std::vector<pst_subnode> entries);

    // A node of the node B-tree.
    void add_node(uint32_t nid, uint64_t data_bid, uint64_t sub_bid, uint32_t parent_nid);

    // Writes the B-trees, allocation maps, density list and header; false when a write fails.
    bool finish();

  private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

}  // namespace pst
