#pragma once
// The store reader's internal routines: the whole-file block scan and the file size.

#include <cstddef>
#include <cstdint>

#include "dbx/dbx.h"

// Scans the store from offset 16 to the end of its scanned size, prints the progress line,
// fills both block lists with their links and chain heads and lists the bytes that could
// not be read. Returns false when the run was abandoned at a checkpoint; the lists are
// then incomplete and nothing more has been printed. May throw std::bad_alloc.
bool _dbx_scan(dbx_t* store);

// The size of `name`, looked up relative to `directory`: the low 32 bits of the size as a
// signed number, widened to 64 bits; -1 when the directory or the file cannot be reached.
int64_t _get_file_size(const char* directory, const char* name);

// The number of bytes the scan asks the stream for at a time (1 MiB unless changed).
// Tests make it small so that blocks straddle many read boundaries.
size_t _dbx_scan_chunk_size();
void _dbx_set_scan_chunk_size(size_t bytes);
