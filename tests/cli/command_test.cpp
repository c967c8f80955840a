// The morvale command: arguments, what it prints, the files it writes and its exit status.

#include "cli/command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/console_view.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "support/capture.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"
#include "tools/dbxgen/indexed.h"

namespace {

namespace fs = std::filesystem;

struct command_result {
    int status;
    std::string out;
    std::string err;
};

command_result morvale(const std::vector<std::string>& args) {
    command_result result{};
    auto captured = capture_output([&] { result.status = morvale_run(args); });
#ifdef _WIN32
    for (std::string* text : {&captured.out, &captured.err}) {
        for (size_t at = 0; (at = text->find("\r\n", at)) != std::string::npos;) text->erase(at, 1);
    }
#endif
    result.out = captured.out;
    result.err = captured.err;
    return result;
}

// What follows the scan's progress line.
std::string after_scan(const std::string& out) {
    size_t end = out.find("100.0%\n");
    return end == std::string::npos ? out : out.substr(end + 7);
}

class command_test : public testing::Test {
  protected:
    // A store of two messages, one with a tab, a C0 control and a C1 control (0x9D, OSC
    // through Windows-1252) in its subject, and one fragment.
    std::string make_store(const std::string& name) {
        dbxgen::store_image image;
        image.put_signature();
        const uint32_t first[] = {0x2A0}, second[] = {0x4B0}, fragment[] = {0x800};
        image.add_message(
            "From: Ann\r\nTo: Bob\r\nSubject: Hi\r\nDate: Tue, 15 Nov 1994 08:12:31 GMT\r\n\r\nx",
            first);
        image.add_message(
            "From: Ren\xC3\xA9\r\nSubject: a\tb\x01"
            "c\x9D"
            "d\r\n\r\ny",
            second);
        image.add_freed_fragment("From: Cy\r\n\r\nz", fragment, 0);
        image.resize(0x1000);
        std::string path = dir.file(name);
        EXPECT_TRUE(image.write_file(path));
        return path;
    }
    temp_dir dir;
};

TEST_F(command_test, ListOnlyRunPrintsTheEngineLinesThenTheMessageList) {
    std::string store = make_store("Inbox.dbx");
    auto result = morvale({store});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("------ Scanning " + store + ":   0.0%", 0), 0u);
    EXPECT_EQ(after_scan(result.out), "------ Recovering 2 messages from " + store +
                                          " to (null)/(null) ... \n"
                                          "------ 0 messages recovered, 0 errors\n"
                                          "------ Recovering 1 deleted message fragments from " +
                                          store +
                                          " to (null)/(null) ... \n"
                                          "------ 0 deleted message fragments recovered, 0 errors\n"
                                          "From\tE-mail Subject\tTo\tDate\n"
                                          "Ann\tHi\tBob\tTue, 15 Nov 1994 08:12:31 GMT\n"
                                          "Ren\xC3\x83\xC2\xA9\ta b c d\t\t\n"
                                          "\t\t\t\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(command_test, SaveRunWritesIntoTheFolderNamedAfterTheStore) {
    std::string store = make_store("Inbox.dbx");
    std::string out = dir.file("out");
    auto result = morvale({"--eml", store, out});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "Saving completed successfully\n");
    EXPECT_NE(after_scan(result.out).find(" 50.0%     OK: Ann_Bob_Hi.000002A0.eml\n"),
              std::string::npos);
    EXPECT_EQ(read_file(out + "/Inbox/Ann_Bob_Hi.000002A0.eml").substr(0, 10), "From: Ann\r");
    EXPECT_TRUE(fs::exists(
        fs::u8path(out + "/Inbox/deleted/_(no_sender)_(no_receiver)_(no_subject).00000800.eml")));
}

TEST_F(command_test, EachStoreOfASaveRunGetsItsOwnFolder) {
    std::string first = make_store("Inbox.dbx"), second = make_store("Sent Items.dbx");
    std::string out = dir.file("saved mail");
    auto result = morvale({"--msg", first, second, out});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(fs::u8path(out + "/Inbox/Ann_Bob_Hi.000002A0.msg")));
    EXPECT_TRUE(fs::exists(fs::u8path(out + "/Sent Items/Ann_Bob_Hi.000002A0.msg")));
    // An Outlook message is a compound file.
    EXPECT_EQ(read_file(out + "/Inbox/Ann_Bob_Hi.000002A0.msg").substr(0, 4), "\xD0\xCF\x11\xE0");
}

TEST_F(command_test, MissingStoreFailsWithAClearWord) {
    auto listed = morvale({dir.file("absent.dbx")});
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, "morvale: could not open the store " + dir.file("absent.dbx") + "\n");
    auto saved = morvale({"--eml", dir.file("absent.dbx"), dir.file("out")});
    EXPECT_EQ(saved.status, 1);
    EXPECT_EQ(saved.err.rfind("Saving failed: nothing was saved.\n", 0), 0u) << saved.err;
}

TEST_F(command_test, FailedMessagesGiveExitStatusOne) {
    std::string store = make_store("Inbox.dbx");
    std::string out = dir.file("out");
    fs::create_directories(fs::u8path(out + "/Inbox"));
    std::ofstream(fs::u8path(out + "/Inbox/deleted")) << "a file in the way";
    auto result = morvale({"--eml", store, out});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Saving completed with 1 errors\n"), std::string::npos) << result.err;
}

TEST_F(command_test, AMsgFileThatCannotBeWrittenFailsThatMessageAndSaysWhy) {
    std::string store = make_store("Inbox.dbx");
    std::string out = dir.file("out");
    // A folder where the message store writes the first .msg file: it cannot write it.
    fs::create_directories(
        fs::u8path(out + "/Inbox/" + platform::next_temporary_name("Ann_Bob_Hi.000002A0.msg")));
    auto result = morvale({"--msg", store, out});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("_save_message (msg): built-in message store: cannot write ", 0), 0u)
        << result.err;
    EXPECT_NE(result.err.find("Saving completed with 1 errors"), std::string::npos) << result.err;
    EXPECT_NE(after_scan(result.out).find("OK:"), std::string::npos);  // the run went on
}

TEST_F(command_test, UsageErrorsGiveExitStatusTwo) {
    EXPECT_EQ(morvale({}).status, 2);
    EXPECT_EQ(morvale({"--eml", "only-a-store.dbx"}).status, 2);
    EXPECT_EQ(morvale({"--eml", "--msg", "a.dbx", "out"}).status, 2);
    EXPECT_EQ(morvale({"--mbox-status", "a.dbx"}).status, 2);
    auto unknown = morvale({"--frobnicate", "a.dbx"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("morvale: unknown option --frobnicate\nUsage:", 0), 0u);
}

TEST_F(command_test, HelpAndVersionAnswerOnStandardOutput) {
    auto help = morvale({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: morvale STORE...", 0), 0u);
    auto version = morvale({"--version"});
    EXPECT_EQ(version.status, 0);
    // The build's own version, then the commit where the build was made in a git checkout.
    std::string number = std::regex_replace(MORVALE_PROJECT_VERSION, std::regex("\\."), "\\.");
    std::regex expected("morvale \\(Tavrin Morvale\\) " + number +
                        "( \\(commit [0-9a-f]{7,}(, modified)?\\))?\n");
    EXPECT_TRUE(std::regex_match(version.out, expected)) << version.out;
}

TEST_F(command_test, InterruptAbandonsTheRunAtTheNextCheckpoint) {
    std::string store = make_store("Inbox.dbx");
    console_view::interrupted = true;
    auto result = morvale({"--eml", store, dir.file("out")});
    console_view::interrupted = false;
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "morvale: interrupted\n");
    for (auto& entry : fs::recursive_directory_iterator(fs::u8path(dir.file("out")))) {
        EXPECT_FALSE(entry.is_regular_file()) << entry.path();
    }
}

TEST_F(command_test, PathsBeyondLatin1AndRelativeFolders) {
    std::string store = make_store("\xE9\x82\xAE\xE4\xBB\xB6.dbx");  // 邮件.dbx
    auto saved_directory = *platform::current_directory();
    ASSERT_EQ(platform::change_directory(dir.file("").c_str()), 0);
    auto result = morvale({"--eml", store, "\xD0\xBF\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0"});  // почта
    platform::change_directory(saved_directory.c_str());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(
        fs::exists(fs::u8path(dir.file("\xD0\xBF\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0/"
                                       "\xE9\x82\xAE\xE4\xBB\xB6/Ann_Bob_Hi.000002A0.eml"))));
}

}  // namespace

// An identity's folder tree names the output folders; the stores' indexes give each record
// their facts, and a message an index names whose blocks are gone is a record of its own.
TEST_F(command_test, AnIdentityKeepsItsFolderTreeAndItsIndexesState) {
    std::string identity = dir.file("id");
    fs::create_directory(fs::u8path(identity));
    FILE* report = std::tmpfile();
    ASSERT_TRUE(dbxgen::write_identity(identity, report));
    std::fclose(report);
    std::string manifest = dir.file("m.jsonl");
    auto run =
        morvale({"--mbox", dir.file("mail"), "--mbox-status", "--manifest", manifest, identity});
    EXPECT_EQ(run.status, 1);  // 2004.dbx's index names two messages its blocks lack
    EXPECT_NE(run.err.find("2004.dbx: the store's index names 2 messages whose blocks were not "
                           "found\n"),
              std::string::npos)
        << run.err;
    for (const char* file : {"Inbox.mbox", "Inbox/Clients.mbox", "Inbox/Clients/Acme.mbox",
                             "Inbox/Family.mbox", "Archive/Invoices.mbox", "Archive/2004.mbox"})
        EXPECT_TRUE(fs::exists(fs::u8path(dir.file("mail/id/") + file))) << file;
    EXPECT_FALSE(fs::exists(fs::u8path(dir.file("mail/id/Receipts.mbox"))));  // renamed
    EXPECT_FALSE(fs::exists(fs::u8path(dir.file("mail/id/Folders.mbox"))));   // the tree
    std::map<std::string, int> family;  // in_index -> messages
    int missing = 0;
    std::ifstream lines(fs::u8path(manifest));
    for (std::string line; std::getline(lines, line);) {
        auto record = nlohmann::json::parse(line);
        std::string store = record.value("store", "");
        if (record.value("result", "") == "missing") {
            ++missing;
            EXPECT_NE(store.find("2004.dbx"), std::string::npos) << store;
            EXPECT_EQ(record["in_index"], "yes");
            EXPECT_EQ(record["bytes"], nullptr);
            EXPECT_EQ(record["file"], "");
        }
        if (store.find("Family.dbx") == std::string::npos) continue;
        EXPECT_EQ(record["folder"], "Inbox/Family");
        if (record["list"] == "message") ++family[record["in_index"]];
    }
    EXPECT_EQ(missing, 2);
    EXPECT_EQ(family, (std::map<std::string, int>{{"no", 3}, {"yes", 7}}));
    std::string family_mbox = read_file(dir.file("mail/id/Inbox/Family.mbox"));
    size_t status_lines = 0;
    for (size_t at = 0; (at = family_mbox.find("\nStatus: ", at)) != std::string::npos; ++at)
        ++status_lines;
    EXPECT_EQ(status_lines, 7u);
}
