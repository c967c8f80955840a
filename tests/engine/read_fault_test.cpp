// Runs on a generated store whose reads fail in chosen sectors, as on a failing disk,
// compared with the run on the same store without faults: every message that does not
// touch a bad sector comes out byte for byte, none that does is written, and each bad
// stretch is reported once.

#include <filesystem>
#include <map>

#include "dbx/scan.h"
#include "engine_fixture.h"
#include "platform/read.h"
#include "support/fault_source.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t sector = 512;

struct byte_span {
    uint64_t start, end;
    bool touches(const byte_span& other) const { return start < other.end && other.start < end; }
};

// What each message of the store occupies: its blocks' headers and data areas, and the
// header of the block its last one names.
struct message_place {
    std::string number;  // the head block's offset as the file name shows it
    int list;
    std::vector<byte_span> spans;
};

std::vector<message_place> places_of(const std::string& store_path) {
    std::vector<message_place> places;
    capture_output([&] {
        dbx_t* store = dbx_open(store_path.c_str());
        for (int i = 0; i < 2; ++i) {
            const dbx_block_list_t& list = store->lists[i];
            for (const dbx_block_t* head : list.chains) {
                char number[16];
                std::snprintf(number, sizeof number, "%08X", head->offset);
                message_place place{number, i, {}};
                for (int32_t k = int32_t(head - list.blocks.data()); k >= 0;
                     k = list.blocks[k].next) {
                    const dbx_block_t& block = list.blocks[k];
                    uint64_t data = std::min<uint32_t>(uint32_t(block.data_size), 512);
                    place.spans.push_back({block.offset, block.offset + 16 + data});
                    if (block.next < 0 && block.next_offset != 0) {
                        place.spans.push_back({block.next_offset, block.next_offset + 20u});
                    }
                }
                places.push_back(place);
            }
        }
        dbx_close(store);
    });
    return places;
}

// The files a save run wrote, by list and head offset.
std::map<std::pair<int, std::string>, std::string> saved_files(const std::string& folder) {
    std::map<std::pair<int, std::string>, std::string> files;
    for (int list = 0; list < 2; ++list) {
        std::string where = folder + (list == 1 ? "/deleted" : "");
        for (const std::string& name : files_in(where)) {
            std::string number = name.substr(name.size() - 12, 8);
            files[{list, number}] = file_bytes(where + "/" + name);
        }
    }
    return files;
}

class read_fault_test : public engine_test {
  protected:
    ~read_fault_test() override {
        chain_observer = nullptr;
        _dbx_set_scan_chunk_size(1 << 20);
    }
    read_faults faults;
    platform::source_opener faulty = opener_with_faults(faults);
};

TEST_F(read_fault_test, MessagesAwayFromBadSectorsComeOutWholeAndNoneThatTouchOne) {
    int64_t size = 0;
    std::string store = write_generated_store(77, 240, 60, "Inbox.dbx", &size);
    ASSERT_GT(size, int64_t(1 << 20) + 64 * 1024);

    auto places = places_of(store);
    auto clean = run(store, 1, dir.file("clean"));
    ASSERT_EQ(clean.outcome.errors, 0) << clean.err;
    auto reference = saved_files(dir.file("clean/Inbox"));

    // Bad stretches, in sectors: where a head header lies, inside a long message's data,
    // across the first chunk boundary, a whole chunk's worth, the file's first and last.
    auto sector_of = [](uint64_t offset) { return offset / sector; };
    const message_place& longest =
        *std::max_element(places.begin(), places.end(),
                          [](auto& a, auto& b) { return a.spans.size() < b.spans.size(); });
    uint64_t last_sector = (uint64_t(size) - 1) / sector;
    std::vector<std::vector<byte_span>> cases = {
        {{sector_of(places[7].spans[0].start), sector_of(places[7].spans[0].start) + 1}},
        {{sector_of(longest.spans[1].start + 200), sector_of(longest.spans[1].start + 200) + 1}},
        {{(1 << 20) / sector - 1, (1 << 20) / sector + 2}, {last_sector, last_sector + 1}},
        {{0, 1}, {600, 600 + (1 << 20) / sector}},
    };
    for (size_t chunk : {size_t(1) << 20, size_t(4096)}) {
        for (size_t c = 0; c < cases.size(); ++c) {
            SCOPED_TRACE("case " + std::to_string(c) + ", chunk " + std::to_string(chunk));
            std::vector<byte_span> bad;
            std::vector<std::pair<uint64_t, uint64_t>> ranges;
            for (const byte_span& sectors : cases[c]) {
                bad.push_back({sectors.start * sector, sectors.end * sector});
                ranges.emplace_back(bad.back().start, bad.back().end);
            }
            faults.bad = bad_ranges(ranges);
            _dbx_set_scan_chunk_size(chunk);
            std::string folder = dir.file("run" + std::to_string(c) + "-" + std::to_string(chunk));
            auto result = run(store, 1, folder, &faulty);

            auto saved = saved_files(folder + "/Inbox");
            for (const message_place& place : places) {
                bool touched =
                    std::any_of(place.spans.begin(), place.spans.end(), [&](const byte_span& span) {
                        return std::any_of(bad.begin(), bad.end(),
                                           [&](auto& b) { return b.touches(span); });
                    });
                auto found = saved.find({place.list, place.number});
                if (touched) {
                    EXPECT_TRUE(found == saved.end()) << place.number << " touches a bad sector";
                } else {
                    ASSERT_TRUE(found != saved.end()) << place.number << " was not saved";
                    EXPECT_EQ(found->second, reference.at({place.list, place.number}))
                        << place.number;
                }
            }
            // Each bad stretch is reported once, exactly, and fails the run.
            ASSERT_EQ(result.outcome.unreadable.size(), bad.size());
            for (size_t k = 0; k < bad.size(); ++k) {
                bad[k].start = std::max<uint64_t>(bad[k].start, 16);  // the scan starts there
                uint64_t last = std::min<uint64_t>(bad[k].end, uint64_t(size)) - 1;
                EXPECT_EQ(result.outcome.unreadable[k].start, bad[k].start);
                EXPECT_EQ(result.outcome.unreadable[k].end - 1, last);
                std::string line = "morvale: " + store + ": cannot read bytes " +
                                   std::to_string(bad[k].start) + " to " + std::to_string(last) +
                                   ": ";
                EXPECT_EQ(result.err.find(line), result.err.rfind(line)) << result.err;
                EXPECT_NE(result.err.find(line), std::string::npos) << result.err;
            }
            EXPECT_EQ(view.boxes.back().flags, 0x1030u) << view.boxes.back().text;
            EXPECT_EQ(
                files_in(folder + "/Inbox").size() + files_in(folder + "/Inbox/deleted").size(),
                saved.size());  // no temporary file left behind
        }
    }
}

// Whether each chain of a store has a data area running past `size`, by head offset.
std::map<std::pair<int, std::string>, bool> running_past(const std::string& store_path,
                                                         uint64_t size) {
    std::map<std::pair<int, std::string>, bool> past;
    for (const message_place& place : places_of(store_path)) {
        bool runs = std::any_of(place.spans.begin(), place.spans.end(), [&](const byte_span& span) {
            return span.start < size && span.end > size;
        });
        past[{place.list, place.number}] = runs;
    }
    return past;
}

// A store that becomes shorter during the run: the bytes gone are unreadable, never zero
// bytes, and every message that lay in them fails; one cut short before the run keeps
// its decided zero bytes, and its record says it was cut short.
TEST_F(read_fault_test, AStoreShorterThanAtTheStartIsAnErrorAndOneCutBeforeIsMarked) {
    std::string store = write_generated_store(78, 120, 30, "Inbox.dbx");
    auto clean = run(store, 1, dir.file("clean"));
    ASSERT_EQ(clean.outcome.errors, 0) << clean.err;
    auto reference = saved_files(dir.file("clean/Inbox"));
    auto places = places_of(store);
    // Inside the long last data area of a message a quarter of the way in (a block that
    // names a next one past the end of the file is no block).
    auto inside = std::find_if(places.begin() + places.size() / 4, places.end(),
                               [](const message_place& place) {
                                   return place.spans.back().end - place.spans.back().start > 300;
                               });
    ASSERT_NE(inside, places.end());
    uint64_t cut = inside->spans.back().start + 200;

    // Shrinks once the first message has been handled.
    std::map<std::pair<int, std::string>, chain_record> records;
    auto keep_records = [&](bool shrink) {
        chain_observer = [this, &records, shrink, cut](const chain_record& record) {
            char number[16];
            std::snprintf(number, sizeof number, "%08X", record.first_offset);
            records[{record.list, number}] = record;
            if (shrink)
                faults.end = [cut](uint64_t, size_t) { return std::optional<uint64_t>(cut); };
        };
    };
    keep_records(true);
    auto shrunk = run(store, 1, dir.file("shrunk"), &faulty);
    faults.end = nullptr;
    auto saved = saved_files(dir.file("shrunk/Inbox"));
    int failed = 0;
    for (const message_place& place : places) {
        bool gone = std::any_of(place.spans.begin(), place.spans.end(),
                                [&](auto& span) { return span.end > cut; });
        bool first = place.list == 0 && &place == &places.front();
        auto found = saved.find({place.list, place.number});
        if (gone && !first) {
            ++failed;
            EXPECT_TRUE(found == saved.end()) << place.number << " lies partly in the bytes gone";
            EXPECT_TRUE(records.at({place.list, place.number}).failed) << place.number;
        } else {
            ASSERT_TRUE(found != saved.end()) << place.number << " was not saved";
            EXPECT_EQ(found->second, reference.at({place.list, place.number})) << place.number;
        }
    }
    ASSERT_GT(failed, 0);
    EXPECT_EQ(shrunk.outcome.errors, failed);
    ASSERT_FALSE(shrunk.outcome.unreadable.empty());
    for (const unreadable_range& range : shrunk.outcome.unreadable) {
        EXPECT_EQ(range.error, platform::file_shrank);
        EXPECT_GE(range.start, cut);
    }
    EXPECT_NE(shrunk.err.find(": the file is shorter than when the run began\n"), std::string::npos)
        << shrunk.err;
    EXPECT_EQ(view.boxes.back().flags, 0x1030u) << view.boxes.back().text;

    // The same store cut there before the run: the scan sees the shorter file.
    std::error_code error;
    fs::resize_file(fs::u8path(store), cut, error);
    ASSERT_FALSE(error);
    auto past = running_past(store, cut);
    records.clear();
    keep_records(false);
    auto cut_run = run(store, 1, dir.file("cut"));
    chain_observer = nullptr;
    EXPECT_TRUE(cut_run.outcome.unreadable.empty()) << cut_run.err;
    int marked = 0;
    for (auto& [key, record] : records) {
        EXPECT_EQ(record.cut_short, past.at(key)) << key.second;
        EXPECT_TRUE(record.saved) << key.second;
        marked += record.cut_short;
    }
    EXPECT_GT(marked, 0);
}

}  // namespace
