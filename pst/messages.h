#pragma once
// A message of a Personal Folders file: its property context, with its recipient table,
// attachment table and attachments (an attached message recursively) in its subnodes.

#include <cstdint>
#include <string>

#include "item/item.h"
#include "pst/ndb.h"

namespace pst {

struct pst_written_message {
    uint64_t data_bid = 0;
    uint64_t sub_bid = 0;
    uint64_t size = 0;  // the bytes of its property context
    // What the folder's contents table shows of it, packed small (pst_unpack_row).
    std::string contents_row;
};

pst_written_message pst_write_message(pst_ndb& ndb, const item::message& message);

// The properties of a packed contents row.
item::property_map pst_unpack_row(const std::string& packed);

}  // namespace pst
