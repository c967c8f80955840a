#pragma once
// Links the blocks of one list into chains as they are found, in the order the scan
// finds them, with the same results as searching the earlier entries backwards:
//
// - A block whose next-block offset lies earlier is linked to the block at that offset
//   when that block has no predecessor yet. Offsets are unique and the list is sorted by
//   offset, so a binary search finds the one candidate.
// - A new block gets as predecessor the nearest earlier entry that names it and has no
//   successor. Only entries naming a later offset can ever qualify, and none of them gets
//   a successor before the block it names turns up, so it is enough to remember, for each
//   such next-block offset, the last entry that named it. The entry found last waits
//   outside the table until the next block shows whether it simply continues there.

#include <cstdint>
#include <vector>

#include "dbx/dbx.h"
#include "dbx/offset_table.h"

class link_index {
  public:
    // Appends the block found at `offset` to `list` and links it.
    void add(dbx_block_list_t& list, uint32_t offset, uint32_t next_offset, int32_t data_size);

  private:
    void link_successor(dbx_block_list_t& list, int32_t n);
    void link_predecessor(dbx_block_list_t& list, int32_t n);

    offset_table table_;    // next-block offset -> index of the last entry naming it
    int32_t waiting_ = -1;  // the last entry, when it names a later offset
};

// The index of the entry before index `end` that lies at `offset`, or -1. A list's own
// entries are sorted by offset.
int32_t find_block(const dbx_block_list_t& list, int32_t end, uint32_t offset);
