#pragma once
// How whole a chain is: whether it ends where its message ends, whether every byte it takes
// can be tied to its store, and whether it runs on into another store carved from the
// same image. Worked out from the blocks the scan found, without reading the file.

#include <cstdint>
#include <string>
#include <vector>

#include "dbx/dbx.h"

// What attests that a message chain's first block is where its message starts. A deleted
// fragment's first block is not expected to start one.
struct chain_start {
    // Its data begins with a header field (a field name and a colon), as a message does.
    bool begins_with_field = false;
    // The store's index names it as a message's first block. The index is not read yet.
    bool indexed = false;
    // Its first bytes (a few dozen are plenty), to say what it begins with instead; none
    // when they could not be read.
    std::string first_bytes;
};

struct chain_integrity {
    // A message chain whose start nothing attests: the rest of a message whose first block
    // was overwritten, or whose link to it was lost.
    bool start_unattested = false;
    std::string start_unattested_detail;
    // Does not end with a block that names no next block and lies wholly within the file,
    // or begins with a block that another carved store's chain names as its next one.
    bool cut_short = false;
    std::string cut_short_detail;
    // Image bytes [start, end) of the chain that nothing ties to its store.
    std::vector<std::pair<uint64_t, uint64_t>> unattested;
    // Where the carved stores it continues into start, in chain order.
    std::vector<uint64_t> crossed_stores;
    // Where each block lies in the file, head first.
    std::vector<uint64_t> block_positions;

    bool whole() const {
        return !start_unattested && !cut_short && unattested.empty() && crossed_stores.empty();
    }
    // "whole", or the kinds found: "start unattested", "unattested bytes", "cut short",
    // "crosses stores", joined by "; " in that order.
    std::string kinds() const;
    // What each kind found says: the ranges, the offset, the stores; empty when whole.
    std::string detail() const;
};

// The integrity of the chain headed by `head` in list `list`. In a store file every byte
// is attested, but in a deleted file read through an image's file system: there the bytes
// in clusters another file owns now are unattested (ranges of its store's offsets), and the
// rest is attested as in a carved store, its clusters counted from the file's start. In a store
// carved from an image the sectors are counted from the store's start, in allocation units
// (clusters) of dbx_cluster_size() bytes, which a file system gives to one file whole: a sector is
// attested when a block header of the store (of either list) starts in its unit, or when it lies
// between two sectors in which such headers start no more than a unit apart. A block whose bytes
// run into a sector nothing ties to its store read on into something else: another file, an
// overwritten cluster, noise. The unit is 1024 bytes unless set: the one sector a block may leave
// between two of its store's headers. In every store, a message chain's first block starts a
// message only as `start` attests it: what the block holds is the caller's to read.
chain_integrity dbx_chain_integrity(const dbx_t* store, int list, const dbx_block_t* head,
                                    const chain_start& start);

// The allocation unit the attestation takes whole, in bytes (a multiple of 512): the file
// system's cluster size where it is known.
void dbx_set_cluster_size(uint32_t bytes);
uint32_t dbx_cluster_size();

// An offset or position as "0x" and upper-case hexadecimal digits, at least `digits` of them.
std::string dbx_hex(uint64_t value, int digits);
// Where a carved store starts in its image, as 12 hexadecimal digits after "0x", or after
// "-0x" for a store that starts that far before the image (an extract from inside it).
std::string dbx_start_hex(uint64_t base);
