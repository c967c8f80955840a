// The progress line: where updates fall and what they show.

#include <gtest/gtest.h>

#include "scan_helpers.h"

namespace {

using dbxgen::store_image;

std::string scan_output(const store_image& image) {
    temp_dir folder;
    std::string path = write_image(folder, image, "p.dbx");
    opened_store opened = open_captured(path);
    EXPECT_NE(opened.store, nullptr);
    return opened.out;
}

size_t count_updates(const std::string& out) {
    size_t count = 0;
    for (size_t at = out.find("\b\b\b\b\b\b"); at != std::string::npos;
         at = out.find("\b\b\b\b\b\b", at + 6))
        count++;
    return count;
}

// Below 1000 bytes the update interval is 0: every position gets an update, the first
// one showing 0.0 again.
TEST(Progress, SmallFileUpdatesAtEveryPosition) {
    store_image image;
    image.put_signature();
    image.resize(40);
    temp_dir folder;
    std::string path = write_image(folder, image, "p.dbx");
    opened_store opened = open_captured(path);
    EXPECT_EQ(opened.out, progress_text(path, 40, {0, 20, 24, 28, 32, 36}));
}

// After a block accepted at P the next update is at P + 512, before the position moves on
// to the header after the block.
TEST(Progress, UpdateAfterABlockFallsOnItsDataArea) {
    store_image image;
    image.put_signature();
    image.add_message("x", std::vector<uint32_t>{16});
    image.resize(560);
    temp_dir folder;
    std::string path = write_image(folder, image, "p.dbx");
    opened_store opened = open_captured(path);
    EXPECT_EQ(opened.out, progress_text(path, 560, {0, 528, 548, 552, 556}));
}

// Larger files get an update each time the position has moved on by a thousandth of the
// size: 999 updates for a file with no blocks in it.
TEST(Progress, LargeFileUpdatesEveryThousandth) {
    store_image image;
    image.resize(100000);
    std::string out = scan_output(image);
    EXPECT_EQ(count_updates(out), 999u + 1u);
    EXPECT_NE(out.find("\b\b\b\b\b\b  0.1%\b\b\b\b\b\b  0.2%"), std::string::npos);
    EXPECT_NE(out.find("\b\b\b\b\b\b 99.9%\b\b\b\b\b\b100.0%\n"), std::string::npos);
}

}  // namespace
