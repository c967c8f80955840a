// Which headers the scan takes for blocks, and of which list. Each row builds a small
// store and names the offsets that must be found in each list.

#include <gtest/gtest.h>

#include <functional>

#include "scan_helpers.h"

namespace {

using dbxgen::store_image;
using offsets = std::vector<uint32_t>;

struct recognition_case {
    const char* name;
    std::function<void(store_image&)> build;
    offsets live;
    offsets freed;
};

// A store of `size` zero bytes after the signature, then the row's own words.
void run_cases(const std::vector<recognition_case>& cases, size_t size) {
    for (size_t i = 0; i < cases.size(); i++) {
        const recognition_case& row = cases[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << row.name);
        store_image image;
        image.put_signature();
        image.resize(size);
        row.build(image);
        temp_dir folder;
        opened_store opened = open_captured(write_image(folder, image));
        ASSERT_NE(opened.store, nullptr);
        EXPECT_EQ(block_offsets(opened.store->lists[0]), row.live);
        EXPECT_EQ(block_offsets(opened.store->lists[1]), row.freed);
    }
}

TEST(BlockRecognition, LiveHeaderFields) {
    run_cases(
        {
            {"used 1", [](store_image& s) { s.put_live_header(64, 1, 0); }, {64}, {}},
            {"used 512", [](store_image& s) { s.put_live_header(64, 512, 0); }, {64}, {}},
            {"used 0", [](store_image& s) { s.put_live_header(64, 0, 0); }, {}, {}},
            {"used 513", [](store_image& s) { s.put_live_header(64, 513, 0); }, {}, {}},
            {"used negative", [](store_image& s) { s.put_live_header(64, 0xFFFFFFFF, 0); }, {}, {}},
            {"used very large",
             [](store_image& s) { s.put_live_header(64, 0x80000000, 0); },
             {},
             {}},
            {"first word not the offset",
             [](store_image& s) {
                 s.put_live_header(64, 10, 0);
                 s.put_word(64, 68);
             },
             {},
             {}},
            {"block size word 511",
             [](store_image& s) {
                 s.put_live_header(64, 10, 0);
                 s.put_word(68, 511);
             },
             {},
             {}},
        },
        4000);
}

TEST(BlockRecognition, NextBlockOffset) {
    run_cases(
        {
            {"0 ends the chain", [](store_image& s) { s.put_live_header(64, 10, 0); }, {64}, {}},
            {"its own offset", [](store_image& s) { s.put_live_header(64, 10, 64); }, {}, {}},
            {"last word of the file",
             [](store_image& s) { s.put_live_header(64, 10, 3996); },
             {64},
             {}},
            {"the file size", [](store_image& s) { s.put_live_header(64, 10, 4000); }, {}, {}},
            {"far beyond the end",
             [](store_image& s) { s.put_live_header(64, 10, 0xFFFFFFF0); },
             {},
             {}},
            {"not on a word", [](store_image& s) { s.put_live_header(64, 10, 2002); }, {}, {}},
            {"earlier in the file",
             [](store_image& s) { s.put_live_header(64, 10, 16); },
             {64},
             {}},
            {"freed: its own offset",
             [](store_image& s) { s.put_freed_header(64, 64, 0); },
             {},
             {}},
            {"freed: not on a word", [](store_image& s) { s.put_freed_header(64, 65, 0); }, {}, {}},
            {"freed: the file size",
             [](store_image& s) { s.put_freed_header(64, 4000, 0); },
             {},
             {}},
        },
        4000);
}

TEST(BlockRecognition, FreedHeaderFields) {
    run_cases(
        {
            {"free-list word 0", [](store_image& s) { s.put_freed_header(64, 0, 0); }, {}, {64}},
            {"free-list word in the file",
             [](store_image& s) { s.put_freed_header(64, 0, 3996); },
             {},
             {64}},
            {"free-list word at the size",
             [](store_image& s) { s.put_freed_header(64, 0, 4000); },
             {},
             {}},
            {"free-list word not on a word",
             [](store_image& s) { s.put_freed_header(64, 0, 18); },
             {},
             {}},
            {"size word not 528",
             [](store_image& s) {
                 s.put_freed_header(64, 0, 0);
                 s.put_word(72, 512);
             },
             {},
             {}},
            {"marker 508 with a live size",
             [](store_image& s) {
                 s.put_freed_header(64, 0, 0);
                 s.put_word(72, 100);
             },
             {},
             {}},
        },
        4000);
}

TEST(BlockRecognition, WherePositionsAreExamined) {
    run_cases(
        {
            {"below 16",
             [](store_image& s) {
                 s.put_live_header(0, 10, 0);
                 s.put_live_header(4, 10, 0);
             },
             {},
             {}},
            {"at 16", [](store_image& s) { s.put_live_header(16, 10, 0); }, {16}, {}},
            {"not on a word",
             [](store_image& s) {
                 s.put_live_header(66, 10, 0);
                 s.put_word(66, 66);
             },
             {},
             {}},
            {"inside an accepted block's data area",
             [](store_image& s) {
                 s.put_live_header(64, 10, 0);
                 s.put_live_header(64 + 16, 10, 0);
                 s.put_live_header(64 + 524, 10, 0);
             },
             {64},
             {}},
            {"right after an accepted block",
             [](store_image& s) {
                 s.put_live_header(64, 10, 0);
                 s.put_freed_header(64 + 528, 0, 0);
             },
             {64},
             {592}},
            {"inside a rejected header's would-be data area",
             [](store_image& s) {
                 s.put_live_header(64, 0, 0);
                 s.put_live_header(80, 10, 0);
             },
             {80},
             {}},
        },
        4000);
}

// The end of the file cuts a header: its missing bytes read as 0xFF.
TEST(BlockRecognition, HeadersAtTheEndOfTheFile) {
    struct row {
        const char* name;
        size_t size;
        bool freed;
        bool found;
    };
    const row rows[] = {
        {"live header cut after 12 bytes", 1000 + 12, false, false},
        {"live header cut after 15 bytes", 1000 + 15, false, false},
        {"live header whole, data area missing", 1000 + 16, false, true},
        {"live header and part of the data", 1000 + 200, false, true},
        {"freed header without its free-list word", 1000 + 16, true, false},
        {"freed header with half the free-list word", 1000 + 18, true, false},
        {"freed header with its free-list word", 1000 + 20, true, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        store_image image;
        image.put_signature();
        if (r.freed)
            image.put_freed_header(1000, 0, 0);
        else
            image.put_live_header(1000, 512, 0);
        image.resize(r.size);
        temp_dir folder;
        opened_store opened = open_captured(write_image(folder, image));
        ASSERT_NE(opened.store, nullptr);
        EXPECT_EQ(opened.store->lists[r.freed ? 1 : 0].block_count, r.found ? 1 : 0);
        EXPECT_EQ(opened.store->lists[r.freed ? 0 : 1].block_count, 0);
    }
}

// Bytes past the end read as 0xFF, not as zeros: a free-list word cut after two bytes is
// far outside the file, where zero padding would make it a small, valid offset.
TEST(BlockRecognition, WordCutByTheEndReadsOnesInItsMissingBytes) {
    store_image image;
    image.put_signature();
    image.put_word(1000, 1000);
    image.put_word(1004, 508);
    image.put_word(1008, 528);
    image.put_word(1012, 0);
    image.put_bytes(1016, "\x10\x00", 2);  // 0xFFFF0010 with the missing bytes
    temp_dir folder;
    opened_store opened = open_captured(write_image(folder, image));
    ASSERT_NE(opened.store, nullptr);
    EXPECT_EQ(opened.store->lists[1].block_count, 0);
}

}  // namespace
