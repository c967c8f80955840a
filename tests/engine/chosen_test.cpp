// Saving chosen chains: over generated stores, a run of a random choice writes exactly
// the files a run of the whole store writes for those chains (names, bytes, times), and
// a "deleted" folder only when a fragment is chosen. Each row a run lists is said to come
// from its chain, and the start of a message read for a first look is the message's start.

#include <algorithm>
#include <filesystem>
#include <map>

#include "engine/read_message.h"
#include "engine_fixture.h"

namespace {

// Keeps, for each row, the chain the run said it lists.
class chain_recording_view : public recording_view {
  public:
    void chain_begins(int list, int chain) override { now = {list, chain}; }
    void insert_item(int index) override {
        recording_view::insert_item(index);
        sources.push_back(now);
    }
    chain_id now{-1, -1};
    std::vector<chain_id> sources;
};

// A relative path as UTF-8, the same on every system.
std::string relative_name(const std::filesystem::path& path, const std::filesystem::path& base) {
    auto name = std::filesystem::relative(path, base).generic_u8string();
    return std::string(name.begin(), name.end());
}

// Every file under a folder (UTF-8 relative path -> bytes and time).
std::map<std::string, std::pair<std::string, int64_t>> files_under(const std::string& folder) {
    std::map<std::string, std::pair<std::string, int64_t>> found;
    std::error_code ignored;
    auto base = std::filesystem::u8path(folder);
    for (auto& entry : std::filesystem::recursive_directory_iterator(base, ignored)) {
        if (!entry.is_regular_file()) continue;
        auto utf8 = entry.path().u8string();
        std::string path(utf8.begin(), utf8.end());
        found[relative_name(entry.path(), base)] = {file_bytes(path), modification_time(path)};
    }
    return found;
}

}  // namespace

TEST_F(engine_test, ChosenChainsGetExactlyTheFilesOfAWholeSaveAndRowsSayTheirChain) {
    for (uint64_t seed : {3u, 8u, 21u}) {
        std::string store =
            write_generated_store(seed, 30, 9, "Inbox" + std::to_string(seed) + ".dbx");
        std::string whole = dir.file("whole" + std::to_string(seed));
        std::string part = dir.file("part" + std::to_string(seed));
        std::filesystem::create_directories(whole);
        std::filesystem::create_directories(part);
        std::vector<chain_record> records;
        chain_observer = [&records](const chain_record& record) { records.push_back(record); };
        chain_recording_view rows;
        {
            scoped_main_dialog use(&rows);
            save_mode = 1;
            ASSERT_EQ(recover_store((whole + separator + "Inbox.dbx").c_str(), store.c_str()), 0);
        }
        chain_observer = nullptr;
        ASSERT_EQ(rows.sources.size(), records.size()) << seed;
        for (size_t r = 0; r < records.size(); ++r) {
            EXPECT_EQ(rows.sources[r], (chain_id{records[r].list, records[r].chain}))
                << seed << " " << r;
        }

        // Every third chain, from a place of the seed's choosing; fragments only for two seeds.
        std::vector<chain_id> chosen;
        std::map<std::string, std::pair<std::string, int64_t>> expected;
        auto all = files_under(whole);
        for (size_t r = seed % 3; r < records.size(); r += 3) {
            if (records[r].list == 1 && seed == 21) continue;
            chosen.push_back({records[r].list, records[r].chain});
            std::string name = relative_name(std::filesystem::u8path(records[r].file),
                                             std::filesystem::u8path(whole));
            expected[name] = all.at(name);
        }
        std::reverse(chosen.begin(), chosen.end());  // any order will do
        recording_view silent;
        {
            scoped_main_dialog use(&silent);
            ASSERT_EQ(
                recover_chosen((part + separator + "Inbox.dbx").c_str(), store.c_str(), chosen), 0);
        }
        save_mode = 0;
        EXPECT_EQ(files_under(part), expected) << seed;
        EXPECT_EQ(std::filesystem::exists(std::filesystem::u8path(part) / "Inbox" / "deleted"),
                  seed != 21)
            << seed;
        EXPECT_EQ(silent.rows.size(), chosen.size()) << seed;

        dbx_t* scanned = dbx_open(store.c_str());
        ASSERT_NE(scanned, nullptr);
        for (const chain_record& record : records) {
            recording_view ignored;
            message_read full = _read_message(&ignored, scanned, record.list, record.chain, 1);
            auto start = _read_message_start(scanned, record.list, record.chain, 700, &ignored);
            ASSERT_TRUE(full.text && start);
            EXPECT_EQ(*start, full.text->substr(0, start->size()));
            EXPECT_GE(start->size(), std::min<size_t>(700, full.text->size()));
        }
        dbx_close(scanned);
    }
}
