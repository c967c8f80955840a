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

uint32_t cluster_sectors = 2;

// The offsets of the store's headers nearest to [low, high) on either side, of either
// list: the last one below `low` and the first one at or past `high` (none: -1 and
// UINT64_MAX), and whether one lies within. The store's own blocks are sorted by offset.
struct nearby_headers {
    int64_t before = -1;
    uint64_t after = UINT64_MAX;
    bool within = false;
};
// Where the last searches of a store's lists ended: the sectors asked about lie mostly
// close together, chain after chain in the order of their heads.
struct search_hints {
    const dbx_t* store = nullptr;
    int32_t at[2] = {0, 0};
};
thread_local search_hints hints;

// The index of the first of the list's own blocks at or past `offset`, searched outwards
// from `hint` in growing steps and then by halves; `hint` becomes the answer.
int32_t first_at_or_past(const dbx_block_list_t& list, uint64_t offset, int32_t& hint) {
    const int32_t n = list.block_count;
    const dbx_block_t* blocks = list.blocks.data();
    int32_t at = std::clamp(hint, 0, n), low = 0, high = n, step = 1;
    if (at < n && blocks[at].offset < offset) {
        for (low = at + 1; low + step - 1 < n && blocks[low + step - 1].offset < offset; step *= 2)
            low += step;
        high = std::min(n, low + step - 1);
    } else {
        for (high = at; high - step >= 0 && blocks[high - step].offset >= offset; step *= 2)
            high -= step;
        low = std::max(0, high - step + 1);
    }
    const dbx_block_t* found = std::lower_bound(
        blocks + low, blocks + high, offset,
        [](const dbx_block_t& block, uint64_t wanted) { return block.offset < wanted; });
    hint = int32_t(found - blocks);
    return hint;
}

nearby_headers headers_around(const dbx_t& store, uint64_t low, uint64_t high) {
    if (hints.store != &store) hints = {&store, {0, 0}};
    nearby_headers found;
    for (int i = 0; i < 2; ++i) {
        const dbx_block_list_t& list = store.lists[i];
        int32_t at = first_at_or_past(list, low, hints.at[i]);
        if (at > 0) found.before = std::max<int64_t>(found.before, list.blocks[at - 1].offset);
        if (at < list.block_count && list.blocks[at].offset < high) found.within = true;
        int32_t past = at;
        while (past < list.block_count && list.blocks[past].offset < high)
            ++past;  // a unit holds few
        if (past < list.block_count)
            found.after = std::min<uint64_t>(found.after, list.blocks[past].offset);
    }
    return found;
}

// Attestation of the sectors of one carved store, counted from the store's start (which
// lies on a sector boundary and, a file starting on a cluster, on a cluster boundary).
// Allocation units of `cluster_sectors` sectors are taken whole: a sector is attested
// when a header of the store starts in its unit, or when it lies between two sectors in
// which headers start no more than a unit apart, so that no other unit fits between them.
class sector_witness {
  public:
    explicit sector_witness(const dbx_t& store) : store_(store) {}

    bool attested(uint64_t sector) {
        uint64_t unit = sector / cluster_sectors * cluster_sectors;
        if (unit == last_unit_) return last_answer_;
        nearby_headers unit_headers =
            headers_around(store_, unit * sector_size, (unit + cluster_sectors) * sector_size);
        last_unit_ = unit;
        last_answer_ = unit_headers.within;
        if (last_answer_) return true;
        // A unit without a header of its own: the sector is attested only by the headers
        // on either side of it, and the answer holds for it alone.
        last_unit_ = UINT64_MAX;
        nearby_headers around =
            headers_around(store_, sector * sector_size, (sector + 1) * sector_size);
        return around.before >= 0 && around.after != UINT64_MAX &&
               around.after / sector_size - uint64_t(around.before) / sector_size <=
                   cluster_sectors;
    }

  private:
    const dbx_t& store_;
    uint64_t last_unit_ = UINT64_MAX;
    bool last_answer_ = false;
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

// The bytes between quotation marks, printable ASCII as it is and every other byte (a
// quotation mark and a backslash too) as \xHH; "..." after them when the block holds more.
std::string quoted_start(const std::string& bytes) {
    constexpr size_t shown = 16;
    std::string text = "\"";
    for (size_t at = 0; at < bytes.size() && at < shown; ++at) {
        auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            text += char(byte);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        text += escaped;
    }
    return text + (bytes.size() > shown ? "\"..." : "\"");
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

chain_integrity dbx_chain_integrity(const dbx_t* store, int list_number, const dbx_block_t* head,
                                    const chain_start& start) {
    chain_integrity found;
    if (list_number == 0 && !start.begins_with_field && !start.indexed) {
        found.start_unattested = true;
        found.start_unattested_detail =
            start.first_bytes.empty() ? "its first block could not be read"
                                      : "its first block begins " +
                                            quoted_start(start.first_bytes) + " (no header field)";
    }
    const dbx_block_list_t& list = store->lists[list_number];
    uint64_t file_end = uint64_t(std::max<int64_t>(store->file_size, 0));
    const dbx_block_t* last = head;
    sector_witness witness(*store);
    for (int32_t k = int32_t(head - list.blocks.data()); k >= 0; k = list.blocks[k].next) {
        const dbx_block_t* block = &list.blocks[k];
        last = block;
        uint64_t base = dbx_block_base(store, list_number, block);
        uint64_t position = base + block->offset;
        found.block_positions.push_back(position);
        if (base != store->base &&
            (found.crossed_stores.empty() || found.crossed_stores.back() != base))
            found.crossed_stores.push_back(base);
        // The bytes the block takes: its header and its message bytes.
        uint64_t end =
            position + header_size + dbx_layout::message_bytes(uint32_t(block->data_size));
        end = std::min(end, std::max(file_end, position));
        if (store->found_as) {
            // A deleted file's bytes in clusters that another file owns now are that file's.
            for (const auto& [from, to] : store->found_as->reused)
                if (from < end && to > position)
                    add_range(found.unattested, std::max(from, position), std::min(to, end));
        }
        // A deleted file's clusters are where its metadata last named them: they are
        // attested as a carved store's are.
        bool deleted_file = store->found_as && store->found_as->deleted;
        if (!store->carved && !deleted_file) continue;
        // A copy of another store's block is attested by that store's headers, which this
        // store does not hold; it is reported as crossing stores instead.
        if (base != store->base) continue;
        // Sectors counted from the store's start: the block's own header attests its first.
        uint64_t first_sector = block->offset / sector_size + 1,
                 last_sector = (end - base - 1) / sector_size;
        for (uint64_t sector = first_sector; sector <= last_sector && end > position + header_size;
             ++sector) {
            if (attested_nearby(list, k, sector) || witness.attested(sector)) continue;
            uint64_t at = base + sector * sector_size;
            add_range(found.unattested, at, std::min(end, at + sector_size));
        }
    }
    if (store->found_as && !store->found_as->reused.empty()) {  // two rules, one list
        std::vector<std::pair<uint64_t, uint64_t>> ranges;
        std::swap(ranges, found.unattested);
        std::sort(ranges.begin(), ranges.end());
        for (const auto& [from, to] : ranges) {
            if (!found.unattested.empty() && found.unattested.back().second >= from)
                found.unattested.back().second = std::max(found.unattested.back().second, to);
            else
                found.unattested.emplace_back(from, to);
        }
    }
    uint64_t last_end = found.block_positions.back() + header_size +
                        dbx_layout::message_bytes(uint32_t(last->data_size));
    const std::vector<uint32_t>& named = list.heads_named_elsewhere;
    if (std::binary_search(named.begin(), named.end(), head->offset)) {
        found.cut_short = true;
        found.cut_short_detail =
            "a block of another carved store names its first block as the next one: "
            "the message may begin there";
    } else if (last->next_offset != 0) {
        found.cut_short = true;
        found.cut_short_detail = "the last block names the next offset " +
                                 dbx_hex(last->next_offset, 8) + ", where no block continues it";
    } else if (last_end > file_end) {
        found.cut_short = true;
        found.cut_short_detail =
            "the last block runs past the end of the file at " + dbx_hex(file_end, 8);
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
    add(start_unattested, "start unattested");
    add(!unattested.empty(), "unattested bytes");
    add(cut_short, "cut short");
    add(!crossed_stores.empty(), "crosses stores");
    return text.empty() ? "whole" : text;
}

std::string chain_integrity::detail() const {
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (start_unattested) add("start unattested: " + start_unattested_detail);
    if (!unattested.empty()) {
        std::string ranges;
        for (const auto& [start, end] : unattested)
            ranges += (ranges.empty() ? "" : " ") + dbx_hex(start, 8) + "-" + dbx_hex(end - 1, 8);
        add("unattested bytes " + ranges);
    }
    if (cut_short) add("cut short: " + cut_short_detail);
    if (!crossed_stores.empty()) {
        std::string starts;
        for (uint64_t base : crossed_stores)
            starts += (starts.empty() ? "" : " ") + dbx_start_hex(base);
        add("crosses into the stores at " + starts);
    }
    return text;
}
