#pragma once
// Stores found in a disk image: the `.dbx` files its file systems hold, read by their
// paths, and the stores carved from the rest: every block whose header names an offset that
// puts its store's start on a sector boundary of the image, grouped by that start.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbx/dbx.h"

// One image and the stores found in it, by increasing start. Each store reads from the
// image's source (it does not own it); its `base` is its start in the image (below zero,
// wrapped, for a store that starts before an extract from inside it), and a block's
// number in a file name is its own offset within its store.
struct carved_image {
    std::string file_name;
    std::unique_ptr<platform::byte_source> source;
    uint64_t size = 0;
    std::vector<dbx_t*> stores;
    // The stores read through the image's file systems, allocated files first as found, each
    // with `found_as` set; they read from the image's source as well.
    std::vector<dbx_t*> file_stores;
    std::vector<unreadable_range> unreadable;  // in image order
    std::vector<std::string> faults;           // what is wrong with the image as a whole
};

// Opens and carves an image (a file or a block device of any size), opened by `open` when
// given (as an image), otherwise by platform::open_image_source; null when it cannot be
// opened (errno set; a folder gives EISDIR), when memory runs out or when the run was
// abandoned during the scan. With `file_systems`, the `.dbx` files (any case) of the
// image's file systems are read first, allocated and deleted, and the carve passes over
// every block that lies in the bytes read as one of them. What of the file systems cannot
// be read is said on standard error, before any store is scanned.
carved_image* dbx_carve(const char* path, const platform::source_opener* open = nullptr,
                        bool file_systems = false);
void dbx_carve_close(carved_image* image);
