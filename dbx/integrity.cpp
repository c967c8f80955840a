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

uint32_t cluster_sectors = 2;

// Attestation of the sectors of one carved store, counted from the store's start (which
// lies on a sector boundary and, a file starting on a cluster, on a cluster boundary).
// Allocation units of `cluster_sectors` sectors are taken whole: a sector is attested
// when a header of the store starts in its unit, or when it lies between two sectors in
// which headers start no more than a unit apart, so that no other unit fits between them.
class sector_witness {
  public:
    explicit sector_witness(const dbx_t& store) : store_(store) {}

    bool attested(uint64_t sector) const {
        uint64_t unit = sector / cluster_sectors * cluster_sectors;
        for (uint64_t k = unit; k < unit + cluster_sectors; ++k)
            if (has_header(k)) return true;
        // Headers on either side of the sector, no more than a unit apart.
        for (uint64_t before = 1; before < cluster_sectors && before <= sector; ++before) {
            if (!has_header(sector - before)) continue;
            for (uint64_t after = 1; before + after <= cluster_sectors; ++after)
                if (has_header(sector + after)) return true;
            break;
        }
        return false;
    }

  private:
    bool has_header(uint64_t sector) const {
        if (sector < store_.header_sectors_from) return false;
        uint64_t at = sector - store_.header_sectors_from;
        return at / 64 < store_.header_sectors.size() &&
               (store_.header_sectors[at / 64] >> (at % 64) & 1) != 0;
    }

    const dbx_t& store_;
};

// The sector answered from the block at `index` (of the store's own) and the one after it
// in its list, without a search: the block's own header in the sector's unit, the next
// block's, or the two headers no more than a unit apart around the sector. Most sectors a
// chain takes are answered so.
bool attested_nearby(const dbx_block_list_t& list, int32_t index, uint64_t sector) {
    uint64_t unit = sector / cluster_sectors, own = list.blocks[index].offset / sector_size;
    if (own / cluster_sectors == unit) return true;
    if (index + 1 >= list.block_count) return false;
    uint64_t next = list.blocks[index + 1].offset / sector_size;
    return next / cluster_sectors == unit || (next > sector && next - own <= cluster_sectors);
}

void add_range(std::vector<std::pair<uint64_t, uint64_t>>& ranges, uint64_t start, uint64_t end) {
    if (!ranges.empty() && ranges.back().second == start) {
        ranges.back().second = end;
        return;
    }
    ranges.emplace_back(start, end);
}

}  // namespace

void dbx_set_cluster_size(uint32_t bytes) {
    cluster_sectors = std::max<uint32_t>(bytes / sector_size, 1);
}

uint32_t dbx_cluster_size() {
    return cluster_sectors * sector_size;
}

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
    sector_witness witness(*store);
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
        // Sectors counted from the store's start: the block's own header attests its first.
        uint64_t first_sector = block->offset / sector_size + 1,
                 last_sector = (end - base - 1) / sector_size;
        for (uint64_t sector = first_sector; sector <= last_sector && end > position + header_size;
             ++sector) {
            if (attested_nearby(list, k, sector) || witness.attested(sector))
                continue;
            uint64_t at = base + sector * sector_size;
            add_range(found.unattested, at, std::min(end, at + sector_size));
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
