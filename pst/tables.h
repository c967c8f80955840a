#pragma once
// Property contexts and table contexts: the two ways a node of a Personal Folders file holds
// properties, both in the node's heap, with values too large for it in subnodes.

#include <cstdint>
#include <string>
#include <vector>

#include "item/item.h"
#include "pst/heap.h"
#include "pst/ndb.h"

namespace pst {

// Node types, the low five bits of a node id.
enum : uint32_t {
    pst_node_internal = 0x01,
    pst_node_folder = 0x02,
    pst_node_message = 0x04,
    pst_node_attachment = 0x05,
    pst_node_hierarchy_table = 0x0D,
    pst_node_contents_table = 0x0E,
    pst_node_associated_table = 0x0F,
    pst_node_value = 0x1F,
};

// The subnodes of a message that hold its recipient and attachment tables, and the nodes of
// the template tables Outlook copies them from.
constexpr uint32_t pst_recipient_table_nid = 0x692, pst_attachment_table_nid = 0x671;

// The subnodes of one node being built: each gets an id unique within that node.
class pst_subnodes {
  public:
    // A subnode of the given type; returns its id.
    uint32_t add(uint32_t node_type, uint64_t data_bid, uint64_t sub_bid = 0);
    // A subnode under an id fixed by the format (a message's recipient table, ...).
    void add_fixed(uint32_t nid, uint64_t data_bid, uint64_t sub_bid = 0);
    // The subnode tree; 0 when there are none.
    uint64_t finish(pst_ndb& ndb);

  private:
    std::vector<pst_subnode> entries_;
    uint32_t next_index_ = 0x400;
};

// The bytes a value is stored as: little-endian numbers of the type's size, UTF-16LE text,
// binary values as they are.
std::string pst_value_bytes(uint32_t tag, const item::property_value& value);

// A property context of `properties` and `additions` (which win where both have a tag);
// values over a heap allocation go into `subnodes`. Empty text and binary values are left
// out unless `keep_empty` (readers take an empty value for a missing subnode). Returns the
// heap's pages.
std::vector<std::string> pst_property_context(pst_ndb& ndb, const item::property_map& properties,
                                              const item::property_map& additions,
                                              pst_subnodes& subnodes, bool keep_empty = false);

// A table context with the given columns (besides the row id and row version every table
// has); each row holds what a row's properties give for them.
class pst_table {
  public:
    pst_table(pst_ndb& ndb, pst_subnodes& subnodes, std::vector<uint32_t> columns);
    void add_row(uint32_t row_id, const item::property_map& properties);
    // Returns the heap's pages; the row matrix goes into a subnode when large.
    std::vector<std::string> finish();

  private:
    struct column {
        uint32_t tag;
        uint16_t offset;
        uint8_t size;
        uint8_t bit;
    };
    uint32_t store(uint32_t tag, const item::property_value& value);

    pst_ndb& ndb_;
    pst_subnodes& subnodes_;
    pst_heap heap_{pst_heap_of_table};
    uint32_t row_index_;
    std::vector<column> columns_;  // by tag
    uint16_t ends_[4] = {};        // of the 4- and 8-byte cells, the 2-byte, the 1-byte, the bitmap
    std::string rows_;
    std::vector<std::pair<uint32_t, uint32_t>> index_;  // row id, row number
};

// The columns of the tables every file carries: the folder hierarchy, the contents of a
// folder, its associated contents, a message's recipients and attachments.
std::vector<uint32_t> pst_hierarchy_columns();
std::vector<uint32_t> pst_contents_columns();
std::vector<uint32_t> pst_associated_columns();
std::vector<uint32_t> pst_recipient_columns();
std::vector<uint32_t> pst_attachment_columns();

}  // namespace pst
