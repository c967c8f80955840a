#pragma once
// Shared pieces of the store reader's tests: writing an image to a file, opening it with
// standard output captured, and reading the chains back as lists of offsets.

#include <memory>
#include <string>
#include <vector>

#include "dbx/dbx.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"

struct store_closer {
    void operator()(dbx_t* store) const { dbx_close(store); }
};
using store_ptr = std::unique_ptr<dbx_t, store_closer>;

struct opened_store {
    store_ptr store;
    std::string out;  // standard output during the open
    std::string err;  // standard error during the open
};

// Writes the image as `name` in the folder and returns its path.
std::string write_image(const temp_dir& folder, const dbxgen::store_image& image,
                        const std::string& name = "store.dbx");

// dbx_open, or the literal reference scan, with both output streams captured.
opened_store open_captured(const std::string& path);
opened_store reference_captured(const std::string& path);

// A list's chains, head first, as block offsets.
std::vector<std::vector<uint32_t>> chain_offsets(const dbx_block_list_t& list);
// A list's block offsets in list order.
std::vector<uint32_t> block_offsets(const dbx_block_list_t& list);

// Expects prev and next to come in pairs, stay inside the list, and chain_count to match
// the chains array and the heads.
void expect_consistent_links(const dbx_block_list_t& list);

// The progress text for updates at the given positions of a file of `size` bytes, between
// the first and the last line.
std::string progress_text(const std::string& name, uint32_t size,
                          const std::vector<uint32_t>& positions);
