#pragma once
// The store reader's internal routines: the whole-file block scan and the file size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dbx/dbx.h"

// Scans the store from offset 16 to the end of its scanned size, prints the progress line,
// fills both block lists with their links and chain heads, shows the observer each block
// added, and lists the bytes that could not be read. Returns false when the run was abandoned at a
// checkpoint; the lists are then incomplete and nothing more has been printed. May throw
// std::bad_alloc.
bool _dbx_scan(dbx_t* store, dbx_block_observer* observer = nullptr);

// Where the scan hands each block it finds: its list (0 live, 1 freed), its position in
// the file and its header words.
class block_sink {
  public:
    virtual ~block_sink() = default;
    virtual void found(int list, uint64_t position, uint32_t own_offset, uint32_t next_offset,
                       int32_t data_size) = 0;
    // Whether each block found is followed by its data area: looking it up costs a little.
    virtual bool wants_data_areas() const { return false; }
    // The data area of the block just found: its first `at_hand` bytes are at `data`. That
    // is all its message bytes, or fewer where the rest lies beyond the bytes read so far,
    // past the end of the file, or in bytes that could not be read. The bytes stay there
    // until data_areas_moving() is called.
    virtual void data_area(const unsigned char* data, size_t at_hand) {}
    // The data areas handed over so far are about to be overwritten.
    virtual void data_areas_moving() {}
};

// Scans a disk image from its start to its end for blocks of stores that start on a sector
// boundary anywhere in it, with the store scan's progress line, checkpoints and handling
// of read errors. False when the run was abandoned.
bool _dbx_scan_image(platform::byte_source& image, const std::string& name, block_sink& sink,
                     std::vector<unreadable_range>& unreadable);

// Fills `chains` with the heads of the list's chains, in file order.
void _dbx_make_chains(dbx_block_list_t& list);

// The size of `name`, looked up relative to `directory`: the low 32 bits of the size as a
// signed number, widened to 64 bits; -1 when the directory or the file cannot be reached.
int64_t _get_file_size(const char* directory, const char* name);

// The number of bytes the scan asks the stream for at a time (1 MiB unless changed).
// Tests make it small so that blocks straddle many read boundaries.
size_t _dbx_scan_chunk_size();
void _dbx_set_scan_chunk_size(size_t bytes);
