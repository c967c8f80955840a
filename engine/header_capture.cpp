#include "engine/header_capture.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dbx/layout.h"
#include "engine/list_row.h"
#include "engine/read_message.h"
#include "header/fields.h"
#include "header/summary.h"

namespace {

using dbx_layout::data_size;

// A block is looked at as a head once this many blocks were found after it: by then a
// block in a reversed or shuffled stretch has mostly been given its predecessor.
constexpr int32_t decision_delay = 32;
// The blocks the ring holds: a chain is followed back this far.
constexpr int32_t ring_blocks = 512;
// The blocks whose data areas are copied before the scan reads on.
constexpr int32_t copied_blocks = 64;
// Chains waiting for their next block at one time; the one waiting longest is given up.
constexpr size_t most_waiting = 64;
// A chain's text gathered at most: the rest of a longer header is read from the file.
constexpr size_t most_text = size_t(64) << 10;
// The bytes of a piece of kept cells; a row longer than that gets a piece of its own.
constexpr size_t piece_bytes = size_t(4) << 20;

}  // namespace

// Running out of memory here must not end the scan: the rows are given up instead, and
// every header is read from the file.
void header_capture::added(const dbx_t& store, int list, int32_t index, const unsigned char* data,
                           size_t at_hand) {
    if (given_up_) return;
    try {
        take_block(store, list, index, data, at_hand);
    } catch (const std::bad_alloc&) {
        give_up();
    }
}

void header_capture::give_up() {
    given_up_ = true;
    for (list_state& state : lists_) state = {};
    for (int list = 0; list < 2; ++list) {
        rows_[list] = {};
        std::vector<cell_piece>().swap(pieces_[list]);
    }
}

// The block goes into the ring; it continues the chains waiting for it, if any; and the
// block found `decision_delay` blocks before it is looked at as a head.
void header_capture::take_block(const dbx_t& store, int list, int32_t index,
                                const unsigned char* data, size_t at_hand) {
    list_state& state = lists_[list];
    if (state.where.empty()) {
        state.where.resize(size_t(ring_blocks));
        state.held.resize(size_t(ring_blocks));
        state.copies = platform::page_memory(size_t(ring_blocks) * data_size);
    }
    const dbx_block_t& block = store.lists[list].blocks[size_t(index)];
    size_t slot = size_t(index % ring_blocks);
    bool whole = at_hand == dbx_layout::message_bytes(uint32_t(block.data_size));
    state.where[slot] = data;
    state.held[slot] = whole ? int16_t(at_hand) : int16_t(-1);
    state.newest = index;
    // More than one chain may wait here when a block taken for a head turned out not to be.
    for (size_t k = 0; block.prev >= 0 && k < state.waiting.size();) {
        if (state.waiting[k].last != block.prev) {
            ++k;
            continue;
        }
        gathering chain = std::move(state.waiting[k]);
        state.waiting.erase(state.waiting.begin() + std::ptrdiff_t(k));
        follow(store, list, std::move(chain), index);
    }
    decide_up_to(store, list, index - decision_delay + 1);
}

// The data areas of the last few blocks are copied; those of the blocks before them are
// no longer held, unless they were copied before.
void header_capture::data_moving() {
    for (list_state& state : lists_) {
        for (int32_t index = state.newest; index >= 0 && index > state.newest - ring_blocks;
             --index) {
            size_t slot = size_t(index % ring_blocks);
            unsigned char* copy = state.copies.data() + slot * data_size;
            if (state.held[slot] < 0 || state.where[slot] == copy) continue;
            if (index > state.newest - copied_blocks) {
                std::memcpy(copy, state.where[slot], size_t(state.held[slot]));
                state.where[slot] = copy;
            } else {
                state.held[slot] = -1;
            }
        }
    }
}

// Entries without a predecessor head chains, as far as the scan can tell by now.
void header_capture::decide_up_to(const dbx_t& store, int list, int32_t end) {
    list_state& state = lists_[list];
    const auto& blocks = store.lists[list].blocks;
    for (; state.decided < end; ++state.decided) {
        if (blocks[size_t(state.decided)].prev == -1)
            follow(store, list, {state.decided, -1, {}, 0}, state.decided);
    }
}

// Appends the chain's blocks from `from` on while the ring holds them, a freed block's
// first word marked as the file reader marks it. The row is kept once no more text could
// change it, or where the chain ends; a chain whose next block is still to come waits.
void header_capture::follow(const dbx_t& store, int list, gathering chain, int32_t from) {
    list_state& state = lists_[list];
    const auto& blocks = store.lists[list].blocks;
    for (int32_t index = from;;) {
        size_t slot = size_t(index % ring_blocks);
        if (index <= state.newest - ring_blocks || state.held[slot] < 0) return;
        size_t at = chain.text.size(), length = size_t(state.held[slot]);
        chain.text.append(reinterpret_cast<const char*>(state.where[slot]), length);
        if (list == 1) mark_freed_word(chain.text.data() + at, length);
        chain.last = index;
        const char* text = chain.text.data();
        if (hdr_fields_settled(text, text + chain.text.size(), &chain.settled_to)) break;
        if (chain.text.size() > most_text) return;
        const dbx_block_t& block = blocks[size_t(index)];
        if (block.next >= 0) {
            index = block.next;
            continue;
        }
        if (block.next_offset == 0) break;
        if (state.waiting.size() == most_waiting) state.waiting.erase(state.waiting.begin());
        state.waiting.push_back(std::move(chain));
        return;
    }
    keep_row(list, chain);
}

void header_capture::keep_row(int list, const gathering& chain) {
    const std::string& text = chain.text;
    if (list == 0 && !hdr_begins_with_field(text.data(), text.data() + text.size())) return;
    hdr_row row = hdr_row_of(chain.text.c_str());
    size_t length = 0;
    for (const std::optional<std::string>& cell : row.cells) length += cell ? cell->size() : 0;
    std::vector<cell_piece>& pieces = pieces_[list];
    if (pieces.empty() || pieces.back().bytes.size() - pieces.back().used < length)
        pieces.push_back({platform::page_memory(std::max(piece_bytes, length)), 0, 0});
    cell_piece& piece = pieces.back();
    kept_row kept{chain.head, uint32_t(pieces.size() - 1), uint32_t(piece.used), {}};
    for (size_t column = 0; column < row.cells.size(); ++column) {
        const std::optional<std::string>& cell = row.cells[column];
        kept.length[column] = cell ? int32_t(cell->size()) : -1;
        if (!cell) continue;
        std::memcpy(piece.bytes.data() + piece.used, cell->data(), cell->size());
        piece.used += cell->size();
    }
    rows_[list].push_back(kept);
    if (main_dialog != nullptr) main_dialog->message_found(list, row.view());
}

// A chain still waiting when the scan ends found no block after its last one: it ends
// there, unless that block goes on into one the ring no longer held.
void header_capture::scan_ended(const dbx_t& store) {
    if (given_up_) return;
    try {
        for (int list = 0; list < 2; ++list) {
            list_state& state = lists_[list];
            decide_up_to(store, list, store.lists[list].block_count);
            for (const gathering& chain : state.waiting) {
                if (store.lists[list].blocks[size_t(chain.last)].next == -1) keep_row(list, chain);
            }
            state = {};
            auto& rows = rows_[list];
            std::sort(rows.begin(), rows.end(),
                      [](const kept_row& a, const kept_row& b) { return a.head < b.head; });
            // A block taken for a head may have been given a predecessor since: its row is
            // never shown, and does not hold its piece.
            for (const kept_row& row : rows) {
                if (store.lists[list].blocks[size_t(row.head)].prev == -1)
                    ++pieces_[list][row.piece].rows_to_show;
            }
        }
    } catch (const std::bad_alloc&) {
        give_up();
    }
}

bool header_capture::show_row(main_view* dialog, int list, int32_t head) {
    const auto& rows = rows_[list];
    auto found =
        std::lower_bound(rows.begin(), rows.end(), head,
                         [](const kept_row& row, int32_t wanted) { return row.head < wanted; });
    if (found == rows.end() || found->head != head) return false;
    cell_piece& piece = pieces_[list][found->piece];
    hdr_row_view row;
    const char* at = reinterpret_cast<const char*>(piece.bytes.data()) + found->start;
    for (size_t column = 0; column < row.size(); ++column) {
        if (found->length[column] < 0) continue;
        row[column] = std::string_view(at, size_t(found->length[column]));
        at += found->length[column];
    }
    show_list_row(dialog, row);
    if (--piece.rows_to_show == 0) piece.bytes = {};
    return true;
}
