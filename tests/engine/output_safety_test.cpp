// What a save run finds already in the output folder cannot send its files elsewhere,
// change the store, or leave part of a message under a message's name.

#include <filesystem>
#include <fstream>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "engine_fixture.h"
#include "platform/fs.h"
#include "platform/output_file.h"

namespace {

namespace fs = std::filesystem;
using dbxgen::store_image;

const std::string message_name = "Ann_Bob_Hi.000002A0";
const std::string fragment_name = "_(no_sender)_(no_receiver)_(no_subject).00000800";

std::string store_bytes() {
    store_image image = one_message_and_one_fragment();
    return std::string(image.bytes().begin(), image.bytes().end());
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file below a folder with its bytes, and every link with its target.
std::map<std::string, std::string> contents(const fs::path& top) {
    std::map<std::string, std::string> found;
    for (auto& entry : fs::recursive_directory_iterator(top)) {
        std::string key = entry.path().lexically_relative(top).generic_string();
        if (entry.is_symlink())
            found[key] = "-> " + fs::read_symlink(entry.path()).generic_string();
        else if (entry.is_regular_file())
            found[key] = file_bytes(entry.path().string());
        else
            found[key] = "<folder>";
    }
    return found;
}

struct safety_case {
    const char* what;
    const char* store_name;
    int mode;
    // Prepares the output folder `out` (and may use `outside`, a folder next to it);
    // false when this system cannot make what the case needs.
    std::function<bool(const fs::path& out, const fs::path& outside, const fs::path& store)>
        prepare;
    std::vector<std::string> saved;  // files expected below out, relative
    std::string said;                // expected on standard error
};

bool link_to(const fs::path& target, const fs::path& link, bool folder) {
    std::error_code error;
    folder ? fs::create_directory_symlink(target, link, error)
           : fs::create_symlink(target, link, error);
    return !error;
}

bool make_pipe(const fs::path& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    return mkfifo(path.c_str(), 0600) == 0;
#endif
}

class output_safety_test : public engine_test, public testing::WithParamInterface<safety_case> {};

TEST_P(output_safety_test, NothingLeavesTheFolderAndNoPartOfAMessageIsLeft) {
    const safety_case& c = GetParam();
    fs::path top = dir.path(), out = top / "out", outside = top / "outside";
    fs::create_directories(out / "Inbox");
    fs::create_directories(outside);
    write_file(outside / "keep.txt", "outside");
    std::string store = dir.file(c.store_name);
    write_file(fs::u8path(store), store_bytes());
    if (!c.prepare(out, outside, fs::u8path(store))) GTEST_SKIP() << "links cannot be made here";
    auto outside_before = contents(outside);
    auto out_before = contents(out);
    std::string store_before = file_bytes(store);

    auto result = run(store, c.mode, out.string());

    EXPECT_EQ(contents(outside), outside_before);
    EXPECT_EQ(file_bytes(store), store_before);
    EXPECT_FALSE(fs::exists(top / "Inbox"));  // nothing beside the chosen folder
    std::vector<std::string> saved;
    for (auto& [name, bytes] : contents(out)) {
        if (bytes == "<folder>" || bytes.rfind("-> ", 0) == 0) continue;
        if (out_before.count(name) && out_before.at(name) == bytes) continue;  // not the run's
        EXPECT_EQ(name.find("~morvale"), std::string::npos) << name << " left behind";
        EXPECT_NE(bytes, "half a mess") << name;
        saved.push_back(name);
    }
    for (const std::string& want : c.saved) {
        EXPECT_NE(std::find(saved.begin(), saved.end(), want), saved.end())
            << want << " in " << testing::PrintToString(saved);
    }
    EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
}

// The folders a run makes below the chosen one are made one inside the other, and a link
// anywhere on the way ends the making with nothing made through it.
TEST_F(engine_test, FoldersMadeBelowTheChosenOneNeverGoThroughALink) {
    fs::path out = dir.path() / "out", outside = dir.path() / "outside";
    fs::create_directories(out / "a");
    fs::create_directories(outside);
    std::string base = out.string();
    EXPECT_EQ(platform::make_folders_below(base.c_str(), "a/b//c/"), 0);
    EXPECT_TRUE(fs::is_directory(out / "a" / "b" / "c"));
    EXPECT_EQ(platform::make_folders_below(base.c_str(), "a/../../x"), -1);
    if (!link_to(outside, out / "a" / "l", true)) GTEST_SKIP() << "links cannot be made here";
    errno = 0;
    EXPECT_EQ(platform::make_folders_below(base.c_str(), "a/l/d"), -1);
    EXPECT_EQ(errno, ELOOP);
    write_file(out / "f", "a file");
    EXPECT_EQ(platform::make_folders_below(base.c_str(), "f/d"), -1);
    EXPECT_TRUE(contents(outside).empty());
    EXPECT_FALSE(fs::exists(dir.path() / "x"));
}

const std::string eml = ".eml", msg = ".msg";

INSTANTIATE_TEST_SUITE_P(
    cases, output_safety_test,
    testing::Values(
        safety_case{"link under a message's name",
                    "Inbox.dbx",
                    1,
                    [](auto& out, auto& outside, auto&) {
                        return link_to(outside / "keep.txt", out / "Inbox" / (message_name + eml),
                                       false);
                    },
                    {"Inbox/deleted/" + fragment_name + eml},
                    "_save_message (rename): "},
        safety_case{"output folder is a link",
                    "Inbox.dbx",
                    1,
                    [](auto& out, auto& outside, auto&) {
                        fs::remove(out / "Inbox");
                        return link_to(outside, out / "Inbox", true);
                    },
                    {},
                    "Inbox is a link; nothing is written there"},
        safety_case{"deleted folder is a link",
                    "Inbox.dbx",
                    2,
                    [](auto& out, auto& outside, auto&) {
                        return link_to(outside, out / "Inbox" / "deleted", true);
                    },
                    {"Inbox/" + message_name + msg},
                    "deleted is a link; nothing is written there"},
        safety_case{"store name that climbs out",
                    "...dbx",
                    1,
                    [](auto&, auto&, auto&) { return true; },
                    {"_/" + message_name + eml, "_/deleted/" + fragment_name + eml},
                    ""},
        safety_case{"the store under a message's name",
                    "Inbox.dbx",
                    1,
                    [](auto& out, auto&, auto& store) {
                        std::error_code error;
                        fs::create_hard_link(store, out / "Inbox" / (message_name + eml), error);
                        return !error;
                    },
                    {"Inbox/deleted/" + fragment_name + eml},
                    "is the store being read"},
        safety_case{"read-only file under a .msg name",
                    "Inbox.dbx",
                    2,
                    [](auto& out, auto&, auto&) {
                        write_file(out / "Inbox" / (message_name + msg), "keep me");
                        fs::permissions(out / "Inbox" / (message_name + msg),
                                        fs::perms::owner_read);
                        return true;
                    },
                    {"Inbox/deleted/" + fragment_name + msg},
                    "_save_message (rename): "},
        safety_case{"files left by interrupted runs",
                    "Inbox.dbx",
                    1,
                    [](auto& out, auto&, auto&) {
                        // One of an earlier process of this id goes; those of other runs stay.
                        fs::path inbox = out / "Inbox";
                        write_file(inbox / platform::next_temporary_name(message_name + eml),
                                   "half a mess");
                        write_file(inbox / "~morvale.000002A0.eml.tmp", "half a mess");
                        write_file(inbox / "~morvale.1.1.000002A0.eml.tmp", "half a mess");
                        return true;
                    },
                    {"Inbox/" + message_name + eml, "Inbox/deleted/" + fragment_name + eml},
                    ""},
        safety_case{"pipe where the message store writes",
                    "Inbox.dbx",
                    2,
                    [](auto& out, auto&, auto&) {
                        return make_pipe(out / "Inbox" /
                                         platform::next_temporary_name(message_name + msg));
                    },
                    {"Inbox/deleted/" + fragment_name + msg},
                    "_save_message (msg): "},
        safety_case{"link where the message store writes",
                    "Inbox.dbx",
                    2,
                    [](auto& out, auto& outside, auto&) {
                        fs::path temporary =
                            out / "Inbox" / platform::next_temporary_name(message_name + msg);
                        return link_to(outside / "keep.txt", temporary, false);
                    },
                    {"Inbox/deleted/" + fragment_name + msg},
                    "_save_message (msg): "}),
    [](const testing::TestParamInfo<safety_case>& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

}  // namespace
