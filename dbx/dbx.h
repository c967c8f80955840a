#pragma once
// An open Outlook Express store and the blocks the whole-file scan found in it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_systems.h"
#include "platform/image.h"
#include "platform/memory.h"
#include "platform/read.h"

// One block found in the file.
struct dbx_block_t {
    uint32_t offset;       // file offset of the block's 16-byte header
    uint32_t next_offset;  // offset of the block that continues the message, 0 when none
    int32_t data_size;     // message bytes in the data area (1..512); 528 for a freed block
    int32_t prev;          // index of the entry linked before this one, -1 for a chain head
    int32_t next;          // index of the entry linked after this one, -1 at a chain's end
};

// One list of blocks, sorted by offset, with its chains.
struct dbx_block_list_t {
    int32_t block_count = 0;
    // Tens of megabytes in a large store: they fill large pages.
    std::vector<dbx_block_t, platform::page_allocator<dbx_block_t>> blocks;
    int32_t chain_count = 0;
    // The heads, by increasing offset.
    std::vector<const dbx_block_t*, platform::page_allocator<const dbx_block_t*>> chains;
    // A store carved from a disk image may hold, after its own `block_count` blocks, copies
    // of blocks its chains continue into from other carved stores: where each such store
    // starts in the image.
    std::vector<uint64_t> borrowed_bases;
    // In a carved store: the offsets, in increasing order, of heads that a block of another
    // carved store names as its next one without being linked to them (more than one block
    // of the image lies there, or the link would close a ring): such a chain may be the
    // rest of a message that begins elsewhere.
    std::vector<uint32_t> heads_named_elsewhere;
};

// Bytes of the file that could not be read: [start, end), and the errno of the failure.
struct unreadable_range {
    uint64_t start;
    uint64_t end;
    int error;
};

// List 0: "messages" (live blocks); list 1: "deleted message fragments" (freed blocks).
struct dbx_t {
    std::string file_name;
    platform::byte_source* source = nullptr;            // what the store is read from
    std::unique_ptr<platform::byte_source> own_source;  // the store's own file (not a carved one's)
    int64_t file_size = 0;  // the whole size in bytes (a block device's too)
    uint64_t base = 0;      // where the store starts in the file: 0, or in a disk image
    bool carved = false;    // found in a disk image
    dbx_block_list_t lists[2];
    std::vector<unreadable_range> unreadable;  // in file order, found by the scan
    // A store read through a file system of a disk image: the file it was read as (its
    // path, metadata, times, and the bytes whose clusters now belong to another file).
    std::optional<platform::found_file> found_as;
};

// Where the store a block of list `list` belongs to starts: for a copy of a block of
// another carved store, where that store starts.
inline uint64_t dbx_block_base(const dbx_t* store, int list, const dbx_block_t* block) {
    const dbx_block_list_t& blocks = store->lists[list];
    size_t index = size_t(block - blocks.blocks.data());
    size_t own = size_t(blocks.block_count);
    return index < own ? store->base : blocks.borrowed_bases[index - own];
}

// Where a block of list `list` lies in the store's file.
inline uint64_t dbx_block_position(const dbx_t* store, int list, const dbx_block_t* block) {
    return dbx_block_base(store, list, block) + block->offset;
}

// The part of the file the scan covers: all of it, or its first 4 GiB, beyond which no
// block can name its own offset.
uint64_t dbx_scanned_size(const dbx_t* store);

// Sees each block as the store scan adds it, with the bytes of its data area the scan has
// at hand: a run that only lists the messages takes their headers from there instead of
// reading the file again.
class dbx_block_observer {
  public:
    virtual ~dbx_block_observer() = default;
    // Entry `index` of list `list` was just added and linked to the entries before it.
    // `data` holds the first `at_hand` bytes of its data area: all its message bytes, or
    // fewer where the rest lies beyond the bytes read so far, past the end of the file, or
    // in bytes that could not be read. They stay there until data_moving() is called.
    virtual void added(const dbx_t& store, int list, int32_t index, const unsigned char* data,
                       size_t at_hand) = 0;
    // The bytes of the data areas given so far are about to be overwritten: what is still
    // needed of them must be copied now.
    virtual void data_moving() = 0;
};

// Opens and scans a store; null when it cannot be opened, is a folder, or the run was
// abandoned during the scan. Unreadable bytes do not fail the open: they are listed in
// `unreadable` and scanned around. The observer, when given, sees every block added. The
// file is opened by `open` when given (as a store), otherwise by platform::open_file_source.
dbx_t* dbx_open(const char* path, dbx_block_observer* observer = nullptr,
                const platform::source_opener* open = nullptr);
void dbx_close(dbx_t* store);
// Closes a store's own file between two readings of it, and opens it again with its reads
// kept to the size it had when it was scanned; false when it cannot be opened.
void dbx_close_file(dbx_t* store);
bool dbx_reopen_file(dbx_t* store);
