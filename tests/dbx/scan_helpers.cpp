#include "scan_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "reference_scan.h"
#include "support/capture.h"

std::string write_image(const temp_dir& folder, const dbxgen::store_image& image,
                        const std::string& name) {
    std::string path = folder.file(name);
    EXPECT_TRUE(image.write_file(path)) << path;
    return path;
}

opened_store open_captured(const std::string& path) {
    opened_store opened;
    captured_output output = capture_output([&] { opened.store.reset(dbx_open(path.c_str())); });
    opened.out = std::move(output.out);
    opened.err = std::move(output.err);
    return opened;
}

opened_store reference_captured(const std::string& path) {
    opened_store opened;
    captured_output output =
        capture_output([&] { opened.store.reset(reference_open(path.c_str())); });
    opened.out = std::move(output.out);
    opened.err = std::move(output.err);
    return opened;
}

std::vector<std::vector<uint32_t>> chain_offsets(const dbx_block_list_t& list) {
    std::vector<std::vector<uint32_t>> chains;
    for (const dbx_block_t* head : list.chains) {
        std::vector<uint32_t> chain;
        for (int32_t i = int32_t(head - list.blocks.data());
             i >= 0 && chain.size() <= list.blocks.size(); i = list.blocks[i].next)
            chain.push_back(list.blocks[i].offset);
        chains.push_back(chain);
    }
    return chains;
}

std::vector<uint32_t> block_offsets(const dbx_block_list_t& list) {
    std::vector<uint32_t> offsets;
    for (const dbx_block_t& block : list.blocks) offsets.push_back(block.offset);
    return offsets;
}

void expect_consistent_links(const dbx_block_list_t& list) {
    ASSERT_EQ(size_t(list.block_count), list.blocks.size());
    int32_t heads = 0;
    for (int32_t i = 0; i < list.block_count; i++) {
        const dbx_block_t& block = list.blocks[i];
        if (i > 0) {
            EXPECT_LT(list.blocks[i - 1].offset, block.offset);
        }
        if (block.prev == -1) heads++;
        if (block.next != -1) {
            ASSERT_GE(block.next, 0);
            ASSERT_LT(block.next, list.block_count);
            EXPECT_EQ(list.blocks[block.next].prev, i) << "block " << block.offset;
            EXPECT_EQ(list.blocks[block.next].offset, block.next_offset);
        }
        if (block.prev != -1) {
            ASSERT_GE(block.prev, 0);
            ASSERT_LT(block.prev, list.block_count);
            EXPECT_EQ(list.blocks[block.prev].next, i) << "block " << block.offset;
        }
    }
    EXPECT_EQ(heads, list.chain_count);
    EXPECT_EQ(size_t(list.chain_count), list.chains.size());
    for (const dbx_block_t* head : list.chains) EXPECT_EQ(head->prev, -1);
}

std::string progress_text(const std::string& name, uint32_t size,
                          const std::vector<uint32_t>& positions) {
    std::string text = "------ Scanning " + name + ":   0.0%";
    for (uint32_t pos : positions) {
        char update[32];
        std::snprintf(update, sizeof update, "\b\b\b\b\b\b%5.1f%%", pos * 100.0 / size);
        text += update;
    }
    return text + "\b\b\b\b\b\b100.0%\n";
}
