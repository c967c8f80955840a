// The integrity of a chain, from the positions of its blocks and of the other blocks of
// its store.

#include "dbx/integrity.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "dbx/layout.h"

namespace {

using dbx_layout::header_size;
using dbx_layout::sector_size;

// The store a block of the list belongs to: for a copy of a block of another carved
// store, where that store starts.
uint64_t base_of(const dbx_t* store, const dbx_block_list_t& list, const dbx_block_t* block) {
    size_t index = size_t(block - list.blocks.data());
    size_t own = size_t(list.block_count);
    return index < own ? store->base : list.borrowed_bases[index - own];
}

// Whether a header of a block found at one of the store's own offsets [low, high) exists in
// either list. The store's own blocks are sorted by offset.
bool holds_header_between(const dbx_t& store, uint64_t low, uint64_t high) {
    for (const dbx_block_list_t& list : store.lists) {
        auto begin = list.blocks.begin(), end = begin + list.block_count;
        auto at = std::lower_bound(begin, end, low, [](const dbx_block_t& block, uint64_t offset) {
            return block.offset < offset;
        });
        if (at != end && at->offset < high) return true;
    }
    return false;
}

// Attestation of image sectors for one carved store, with the last answers kept: a chain's
// blocks mostly lie one after another.
class sector_witness {
  public:
    sector_witness(const dbx_t& store, uint64_t base) : store_(store), base_(base) {}

    bool attested(uint64_t sector) {
        return has_header(sector) || (sector > 0 && has_header(sector - 1) && has_header(sector + 1));
    }

  private:
    bool has_header(uint64_t sector) {
        for (const auto& [known, answer] : recent_)
            if (known == sector) return answer;
        // The sector as offsets of the store, which may start before the image; sectors
        // before the store's start hold none of its headers.
        int64_t low = int64_t(sector * sector_size) - int64_t(base_), high = low + sector_size;
        bool answer = high > 0 && holds_header_between(store_, uint64_t(std::max<int64_t>(low, 0)),
                                                       uint64_t(high));
        recent_[next_++ % 4] = {sector, answer};
        return answer;
    }

    const dbx_t& store_;
    uint64_t base_;
    std::pair<uint64_t, bool> recent_[4] = {{UINT64_MAX, false}, {UINT64_MAX, false},
                                            {UINT64_MAX, false}, {UINT64_MAX, false}};
    unsigned next_ = 0;
};

void add_range(std::vector<std::pair<uint64_t, uint64_t>>& ranges, uint64_t start, uint64_t end) {
    if (!ranges.empty() && ranges.back().second == start) {
        ranges.back().second = end;
        return;
    }
    ranges.emplace_back(start, end);
}

}  // namespace

std::string dbx_hex(uint64_t value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*" PRIX64, digits, value);
    return text;
}

chain_integrity dbx_chain_integrity(const dbx_t* store, int list_number, const dbx_block_t* head) {
    chain_integrity found;
    const dbx_block_list_t& list = store->lists[list_number];
    uint64_t file_end = uint64_t(std::max<int64_t>(store->file_size, 0));
    const dbx_block_t* last = head;
    sector_witness witness(*store, store->base);
    for (int32_t k = int32_t(head - list.blocks.data()); k >= 0; k = list.blocks[k].next) {
        const dbx_block_t* block = &list.blocks[k];
        last = block;
        uint64_t base = base_of(store, list, block);
        uint64_t position = base + block->offset;
        found.block_positions.push_back(position);
        if (base != store->base &&
            (found.crossed_stores.empty() || found.crossed_stores.back() != base))
            found.crossed_stores.push_back(base);
        if (!store->carved) continue;
        // The bytes the block takes: its header and its message bytes.
        uint64_t end = position + header_size + dbx_layout::message_bytes(uint32_t(block->data_size));
        end = std::min(end, std::max(file_end, position));
        // A copy of another store's block is attested by that store's headers, which this
        // store does not hold; it is reported as crossing stores instead.
        if (base != store->base) continue;
        for (uint64_t sector = position / sector_size + 1; sector * sector_size < end; ++sector) {
            if (!witness.attested(sector))
                add_range(found.unattested, sector * sector_size, std::min(end, (sector + 1) * sector_size));
        }
    }
    uint64_t last_end = found.block_positions.back() + header_size +
                        dbx_layout::message_bytes(uint32_t(last->data_size));
    const std::vector<uint32_t>& named = list.heads_named_elsewhere;
    if (std::binary_search(named.begin(), named.end(), head->offset)) {
        found.cut_short = true;
        found.cut_short_detail = "a block of another carved store names its first block as the next one: "
                                 "the message may begin there";
    } else if (last->next_offset != 0) {
        found.cut_short = true;
        found.cut_short_detail = "the last block names the next offset " + dbx_hex(last->next_offset, 8) +
                                 ", where no block continues it";
    } else if (last_end > file_end) {
        found.cut_short = true;
        found.cut_short_detail = "the last block runs past the end of the file at " + dbx_hex(file_end, 8);
    }
    return found;
}

std::string dbx_start_hex(uint64_t base) {
    return int64_t(base) < 0 ? "-" + dbx_hex(uint64_t(0) - base, 12) : dbx_hex(base, 12);
}

std::string chain_integrity::kinds() const {
    std::string text;
    auto add = [&](bool present, const char* kind) {
        if (present) text += (text.empty() ? "" : "; ") + std::string(kind);
    };
    add(!unattested.empty(), "unattested bytes");
    add(cut_short, "cut short");
    add(!crossed_stores.empty(), "crosses stores");
    return text.empty() ? "whole" : text;
}

std::string chain_integrity::detail() const {
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (!unattested.empty()) {
        std::string ranges;
        for (const auto& [start, end] : unattested)
            ranges += (ranges.empty() ? "" : " ") + dbx_hex(start, 8) + "-" + dbx_hex(end - 1, 8);
        add("unattested bytes " + ranges);
    }
    if (cut_short) add("cut short: " + cut_short_detail);
    if (!crossed_stores.empty()) {
        std::string starts;
        for (uint64_t base : crossed_stores) starts += (starts.empty() ? "" : " ") + dbx_start_hex(base);
        add("crosses into the stores at " + starts);
    }
    return text;
}
