// How the scan's reader reads around bytes it cannot read: a chunk that fails is read
// again in halves down to single sectors, and only what still fails is listed and read as
// 0xFF. One table: the faults of a store of eight sectors, read as one chunk, and the
// ranges found unreadable.

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "dbx/file_window.h"
#include "support/fault_source.h"
#include "support/temp_dir.h"

namespace {

using range = std::pair<uint64_t, uint64_t>;

struct fault_row {
    const char* name;
    read_faults faults;
    std::vector<unreadable_range> unreadable;
};

// Every read that touches [start, end) fails at once, as a disk gives no byte of a read
// over a bad sector.
std::function<std::optional<uint64_t>(uint64_t, size_t)> failing_whole(range bad) {
    return [bad](uint64_t offset, size_t length) -> std::optional<uint64_t> {
        if (offset < bad.second && bad.first < offset + length) return offset;
        return std::nullopt;
    };
}

TEST(ReadErrors, AChunkIsReadAroundWhatFailsDownToSectors) {
    const fault_row rows[] = {
        {"none", {}, {}},
        {"a read that fails whole at one byte",
         {failing_whole({1000, 1001}), {}},
         {{512, 1024, EIO}}},
        {"bytes before a bad one arrive", {bad_ranges({{1000, 1001}}), {}}, {{1000, 1024, EIO}}},
        {"a read that fails whole across a sector boundary",
         {failing_whole({1020, 1030}), {}},
         {{512, 1536, EIO}}},
        {"the first and last sectors",
         {bad_ranges({{0, 512}, {3584, 4096}}), {}},
         {{0, 512, EIO}, {3584, 4096, EIO}}},
        {"a file that became shorter is not read again",
         {{}, [](uint64_t, size_t) { return std::optional<uint64_t>(3000); }},
         {{3000, 4096, platform::file_shrank}}},
    };
    temp_dir dir;
    std::string path = dir.file("Inbox.dbx");
    std::string bytes;
    for (char sector = 'a'; sector < 'i'; ++sector) bytes.append(512, sector);
    std::ofstream(path, std::ios::binary) << bytes;
    for (const fault_row& row : rows) {
        SCOPED_TRACE(row.name);
        auto source = with_faults(platform::open_file_source(path.c_str()).source, row.faults);
        ASSERT_EQ(source->size(), 4096u);
        chunk_reader reader(*source, 0, 4096, 4096);
        chunk_reader::chunk chunk = reader.next();
        ASSERT_EQ(chunk.length, 4096u);
        ASSERT_EQ(chunk.unreadable.size(), row.unreadable.size());
        std::string expected = bytes;
        for (size_t k = 0; k < row.unreadable.size(); ++k) {
            const unreadable_range& found = chunk.unreadable[k];
            const unreadable_range& listed = row.unreadable[k];
            EXPECT_EQ(found.start, listed.start) << k;
            EXPECT_EQ(found.end, listed.end) << k;
            EXPECT_EQ(found.error, listed.error) << k;
            expected.replace(listed.start, listed.end - listed.start, listed.end - listed.start,
                             '\xFF');
        }
        EXPECT_EQ(std::string(reinterpret_cast<char*>(chunk.data), chunk.length), expected);
        reader.release(chunk.buffer);
    }
}

}  // namespace
