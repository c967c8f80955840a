// Opening and closing stores: what the caller gets back for missing, empty, short and
// unsigned files, the file size helper, and an abandoned run.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "dbx/scan.h"
#include "platform/fs.h"
#include "scan_helpers.h"
#include "support/capture.h"
#include "support/recording_view.h"

namespace {

const std::string blank_progress_end = "\b\b\b\b\b\b100.0%\n";

void expect_empty(const dbx_t& store) {
    for (const dbx_block_list_t& list : store.lists) {
        EXPECT_EQ(list.block_count, 0);
        EXPECT_EQ(list.chain_count, 0);
        EXPECT_TRUE(list.blocks.empty());
        EXPECT_TRUE(list.chains.empty());
    }
}

TEST(StoreOpen, MissingFileGivesNullAndPrintsNothing) {
    temp_dir folder;
    opened_store opened = open_captured(folder.file("absent.dbx"));
    EXPECT_EQ(opened.store, nullptr);
    EXPECT_EQ(opened.out, "");
    EXPECT_EQ(opened.err, "");
}

TEST(StoreOpen, EmptyFileGivesEmptyListsAndBothProgressLines) {
    temp_dir folder;
    std::string path = write_image(folder, dbxgen::store_image());
    opened_store opened = open_captured(path);
    ASSERT_NE(opened.store, nullptr);
    expect_empty(*opened.store);
    EXPECT_EQ(opened.store->file_size, 0);
    EXPECT_EQ(opened.out, "------ Scanning " + path + ":   0.0%" + blank_progress_end);
    EXPECT_EQ(opened.err, "");
}

TEST(StoreOpen, FileShorterThanTheSignatureGivesEmptyLists) {
    temp_dir folder;
    dbxgen::store_image image;
    image.put_bytes(0, dbxgen::store_signature.data(), 10);
    std::string path = write_image(folder, image);
    opened_store opened = open_captured(path);
    ASSERT_NE(opened.store, nullptr);
    expect_empty(*opened.store);
    EXPECT_EQ(opened.out, progress_text(path, 10, {0}));
}

TEST(StoreOpen, FileWithoutSignatureIsScannedAlike) {
    temp_dir folder;
    dbxgen::store_image image;
    image.put_text(0, "not a store file");
    image.add_message("hello", std::vector<uint32_t>{16});
    opened_store opened = open_captured(write_image(folder, image));
    ASSERT_NE(opened.store, nullptr);
    EXPECT_EQ(block_offsets(opened.store->lists[0]), std::vector<uint32_t>{16});
}

TEST(StoreOpen, KeepsNameSizeAndAnOpenSourceForTheReader) {
    temp_dir folder;
    dbxgen::store_image image;
    image.put_signature();
    image.add_message("Subject: kept\r\n\r\nbody", std::vector<uint32_t>{16});
    image.resize(2000);
    std::string path = write_image(folder, image);
    opened_store opened = open_captured(path);
    ASSERT_NE(opened.store, nullptr);
    EXPECT_EQ(opened.store->file_name, path);
    EXPECT_EQ(opened.store->file_size, 2000);
    ASSERT_NE(opened.store->source, nullptr);
    EXPECT_EQ(opened.store->source->size(), 2000u);
    char text[8] = {};
    platform::read_outcome read = opened.store->source->read(32, text, 7);
    EXPECT_EQ(read.count, 7u);
    EXPECT_EQ(read.error, 0);
    EXPECT_STREQ(text, "Subject");
}

TEST(StoreOpen, PathBeyondAsciiIsOpenedAndPrintedAsGiven) {
    temp_dir folder;
    dbxgen::store_image image;
    image.put_signature();
    image.add_message(
        "Gr\xC3\xBC\xC3\x9F"
        "e",
        std::vector<uint32_t>{16});
    std::string path = write_image(folder, image,
                                   "Posteingang Gr\xC3\xBC\xC3\x9F"
                                   "e \xE2\x82\xAC.dbx");
    opened_store opened = open_captured(path);
    ASSERT_NE(opened.store, nullptr);
    EXPECT_EQ(opened.store->lists[0].block_count, 1);
    EXPECT_EQ(opened.out.rfind("------ Scanning " + path + ":", 0), 0u);
}

TEST(StoreOpen, CloseReleasesAStoreWithEmptyLists) {
    temp_dir folder;
    opened_store opened = open_captured(write_image(folder, dbxgen::store_image()));
    ASSERT_NE(opened.store, nullptr);
    dbx_close(opened.store.release());  // the sanitizer build reports anything left behind
    dbx_close(nullptr);
}

TEST(FileSize, IsLookedUpRelativeToTheDirectoryAndLeavesTheWorkingDirectory) {
    temp_dir folder;
    dbxgen::store_image image;
    image.resize(1234);
    write_image(folder, image, "sized.dbx");
    std::string before = platform::current_directory().value();
    std::string directory = folder.file(".");
    EXPECT_EQ(_get_file_size(directory.c_str(), "sized.dbx"), 1234);
    EXPECT_EQ(platform::current_directory().value(), before);
    EXPECT_EQ(_get_file_size(directory.c_str(), "absent.dbx"), -1);
    EXPECT_EQ(platform::current_directory().value(), before);
    EXPECT_EQ(_get_file_size(nullptr, "sized.dbx"), -1);
    EXPECT_EQ(_get_file_size(folder.file("no such folder").c_str(), "sized.dbx"), -1);
    EXPECT_EQ(platform::current_directory().value(), before);
}

// A store of `blocks` live one-block messages after the signature.
dbxgen::store_image store_of_messages(int blocks) {
    dbxgen::store_image image;
    image.put_signature();
    for (int i = 0; i < blocks; i++)
        image.add_message("message text",
                          std::vector<uint32_t>{uint32_t(16 + i * dbxgen::block_size)});
    return image;
}

TEST(StoreOpen, AbandonedRunGivesNullAndStopsPrinting) {
    temp_dir folder;
    std::string path = write_image(folder, store_of_messages(400));  // about 206 KiB
    opened_store whole = open_captured(path);
    ASSERT_NE(whole.store, nullptr);
    EXPECT_EQ(whole.store->lists[0].block_count, 400);

    for (int abandon_at : {1, 5}) {
        recording_view view;
        view.abandon_at = abandon_at;
        scoped_main_dialog dialog(&view);
        opened_store abandoned = open_captured(path);
        EXPECT_EQ(abandoned.store, nullptr);
        EXPECT_EQ(view.checkpoints, abandon_at);
        EXPECT_EQ(abandoned.err, "");
        EXPECT_LT(abandoned.out.size(), whole.out.size());
        EXPECT_EQ(whole.out.compare(0, abandoned.out.size(), abandoned.out), 0) << "not a prefix";
    }
}

TEST(StoreOpen, RunThatGoesOnIsAskedEverySixteenKilobytes) {
    temp_dir folder;
    std::string path = write_image(folder, store_of_messages(400));
    recording_view view;
    scoped_main_dialog dialog(&view);
    opened_store opened = open_captured(path);
    ASSERT_NE(opened.store, nullptr);
    size_t size = 16 + 400 * dbxgen::block_size;
    EXPECT_GE(view.checkpoints, int(size / 16384) - 1);
    EXPECT_LE(view.checkpoints, int(size / 16384));
}

}  // namespace
