// What a run does when the store, the output folder or one message cannot be handled.

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "dispatch/dispatch.h"
#include "engine/sys.h"
#include "engine_fixture.h"
#include "platform/fs.h"
#include "platform/output_file.h"

namespace {

namespace fs = std::filesystem;
using dbxgen::store_image;

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(fs::u8path(path), std::ios::binary) << bytes;
}

TEST_F(engine_test, MissingStoreSavesNothingAndSaysSo) {
    auto result = run(dir.file("absent.dbx"), 1, dir.file("out"));
    EXPECT_FALSE(result.outcome.store_opened);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(fs::exists(fs::u8path(dir.file("out/absent"))));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Saving failed: nothing was saved.");
    EXPECT_EQ(view.boxes[0].flags, 0x1030u);
}

#ifndef _WIN32
// A pipe is no store: opening it would wait for a writer for ever.
TEST_F(engine_test, APipeGivenAsTheStoreIsRefusedAtOnce) {
    std::string pipe = dir.file("Inbox.dbx");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    auto result = run(pipe, 1, dir.file("out"));
    EXPECT_FALSE(result.outcome.store_opened);
    EXPECT_EQ(result.err, "morvale: " + pipe + ": not a regular file\n");
    EXPECT_EQ(view.boxes.at(0).text, "Saving failed: nothing was saved.");
}
#endif

TEST_F(engine_test, OutputFolderThatCannotBeMadeIsReported) {
    auto image = one_message_and_one_fragment();
    std::string store = write_store(image);
    write_file(dir.file("plain"), "not a folder");
    std::string out = dir.file("plain") + separator + "sub";
    auto result = run(store, 1, out);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "error: can't chdir to " + out + separator + "Inbox\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(view.boxes.at(0).text, "Saving failed: nothing was saved.");
    EXPECT_EQ(*platform::current_directory(), start_directory);
}

TEST_F(engine_test, PlainFileNamedDeletedFailsEveryFragment) {
    auto image = one_message_and_one_fragment();
    std::string store = write_store(image);
    fs::create_directories(fs::u8path(dir.file("out/Inbox")));
    write_file(dir.file("out/Inbox/deleted"), "in the way");
    auto result = run(store, 1, dir.file("out"));
    EXPECT_NE(
        result.out.find("100.0%  ERROR: _(no_sender)_(no_receiver)_(no_subject).00000800.eml\n"),
        std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("------ 0 deleted message fragments recovered, 1 errors\n"),
              std::string::npos);
    EXPECT_EQ(result.err.rfind("_save_message (sys_chdir): ", 0), 0u) << result.err;
    EXPECT_EQ(result.outcome.errors, 1);
    EXPECT_EQ(view.boxes.at(0).text, "Saving completed with 1 errors");
    EXPECT_EQ(view.boxes.at(0).flags, 0x1030u);
    EXPECT_EQ(file_bytes(dir.file("out/Inbox/deleted")), "in the way");
}

TEST_F(engine_test, ReadOnlyFileOfTheSameNameIsLeftUnchanged) {
    auto image = one_message_and_one_fragment();
    std::string store = write_store(image);
    fs::create_directories(fs::u8path(dir.file("out/Inbox")));
    std::string old = dir.file("out/Inbox/Ann_Bob_Hi.000002A0.eml");
    write_file(old, "keep me");
    fs::permissions(fs::u8path(old),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto result = run(store, 1, dir.file("out"));
    EXPECT_NE(result.out.find("100.0%  ERROR: Ann_Bob_Hi.000002A0.eml\n"), std::string::npos);
    EXPECT_EQ(result.err.rfind("_save_message (rename): ", 0), 0u) << result.err;
    EXPECT_EQ(file_bytes(old), "keep me");
    EXPECT_EQ(view.boxes.at(0).text, "Saving completed with 1 errors");
}

TEST_F(engine_test, NameTheFileSystemRefusesFailsThatMessageOnly) {
    auto image = one_message_and_one_fragment();
    std::string store = write_store(image);
    // A folder standing where the file should go: no file can be made under that name.
    fs::create_directories(fs::u8path(dir.file("out/Inbox/Ann_Bob_Hi.000002A0.eml")));
    auto result = run(store, 1, dir.file("out"));
    EXPECT_NE(result.out.find("ERROR: Ann_Bob_Hi.000002A0.eml\n"), std::string::npos);
    EXPECT_NE(result.out.find("------ 1 deleted message fragments recovered, 0 errors\n"),
              std::string::npos);
    EXPECT_EQ(result.outcome.errors, 1);
    EXPECT_EQ(*platform::current_directory(), start_directory);
}

TEST_F(engine_test, AMsgFileThatCannotBeWrittenFailsThatMessageOnly) {
    auto image = one_message_and_one_fragment();
    std::string store = write_store(image);
    // A folder where the message store writes its file: it cannot write it.
    fs::create_directories(fs::u8path(
        dir.file("out/Inbox/" + platform::next_temporary_name("Ann_Bob_Hi.000002A0.msg"))));
    auto result = run(store, 2, dir.file("out"));
    EXPECT_NE(result.out.find("ERROR: Ann_Bob_Hi.000002A0.msg\n"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("_save_message (msg): built-in message store: cannot write "),
              std::string::npos)
        << result.err;
    EXPECT_EQ(files_in(dir.file("out/Inbox/deleted")).size(), 1u);  // the run went on
    EXPECT_EQ(result.outcome.errors, 1);
    EXPECT_EQ(view.boxes.at(0).text, "Saving completed with 1 errors");
    EXPECT_EQ(*platform::current_directory(), start_directory);
}

TEST_F(engine_test, FolderNamesBeyondLatin1WorkEverywhere) {
    auto image = one_message_and_one_fragment();
    std::string store = write_store(image, "\xE9\x82\xAE\xE4\xBB\xB6.dbx");  // 邮件.dbx
    std::string out = dir.file("\xD0\xBF\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0");  // почта
    auto result = run(store, 1, out);
    EXPECT_EQ(result.outcome.errors, 0) << result.err;
    EXPECT_EQ(file_bytes(out + "/\xE9\x82\xAE\xE4\xBB\xB6/Ann_Bob_Hi.000002A0.eml"),
              mail("Ann", "Bob", "Hi"));
    EXPECT_EQ(modification_time(out + "/\xE9\x82\xAE\xE4\xBB\xB6/Ann_Bob_Hi.000002A0.eml"),
              784887151);
}

}  // namespace
