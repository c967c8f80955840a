#pragma once
// The rows of a run that only lists the messages, made while the store is scanned, so
// that the list is made without reading the file a second time.
//
// The scan holds each block's bytes only until it reads on, so a ring keeps where the
// data areas of the blocks found last lie, and copies those of the last few before the
// scan reads on. A block is looked at as a chain's head a few blocks after it was found,
// once the blocks around it have had their say: most chains lie in file order, and the
// rest in stretches of a few blocks, reversed or shuffled. From the head the chain is
// followed through the ring, and then through the blocks found later, until no more text
// could change its row; only the row is kept. A chain whose bytes were not all at hand
// (they straddle the end of a read, say, or lie farther apart than the ring reaches) has
// no row here, and its header is read as before; so has a message whose text does not
// begin with a header field, so that a row here attests its message's start.
//
// Each row is also handed to the main dialog as it is kept, so that a list may show the
// messages while the store is still read (a block taken for a head then may later turn
// out to continue a chain: such rows are the dialog's to replace once the chains are known).

#include <cstdint>
#include <string>
#include <vector>

#include "dbx/dbx.h"
#include "platform/memory.h"
#include "platform/view.h"

class header_capture : public dbx_block_observer {
  public:
    void added(const dbx_t& store, int list, int32_t index, const unsigned char* data,
               size_t at_hand) override;
    void data_moving() override;

    // Once the scan is over: the last blocks are looked at as heads, and the chains that
    // ended while their text was still gathered get their rows.
    void scan_ended(const dbx_t& store);

    // Adds the row of the chain headed by entry `head` of list `list` to the dialog's
    // list; false when it has none, and nothing is added. The memory of the rows shown is
    // given back as the list goes on.
    bool show_row(main_view* dialog, int list, int32_t head);

  private:
    // The text of a chain gathered so far, up to its entry `last`.
    struct gathering {
        int32_t head;
        int32_t last;
        std::string text;
        size_t settled_to = 0;
    };
    // Where a row's cells lie among the kept bytes; a cell that is absent has length -1.
    struct kept_row {
        int32_t head;
        uint32_t piece;
        uint32_t start;
        int32_t length[4];
    };
    // Kept cells, a few megabytes to a piece, freed once all its rows to be shown are.
    struct cell_piece {
        platform::page_memory bytes;
        size_t used = 0;
        size_t rows_to_show = 0;
    };
    struct list_state {
        std::vector<const unsigned char*> where;  // the data areas of the last entries found
        std::vector<int16_t> held;     // their lengths, -1 where not all was at hand or kept
        platform::page_memory copies;  // where the last few are copied before the scan reads on
        int32_t decided = 0;           // entries before this were looked at as heads
        int32_t newest = -1;
        std::vector<gathering> waiting;  // chains whose next block is still to come
    };

    void take_block(const dbx_t& store, int list, int32_t index, const unsigned char* data,
                    size_t at_hand);
    void decide_up_to(const dbx_t& store, int list, int32_t end);
    void follow(const dbx_t& store, int list, gathering chain, int32_t from);
    void keep_row(int list, const gathering& chain);
    void give_up();

    list_state lists_[2];
    // By list, as a list's rows are shown together; by head once the scan is over.
    std::vector<kept_row, platform::page_allocator<kept_row>> rows_[2];
    std::vector<cell_piece> pieces_[2];
    bool given_up_ = false;  // memory ran out: no chain has a row
};
