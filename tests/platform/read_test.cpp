// Reads of a store or an image by position, one table each: what a read gives where the
// file has bad sectors, has become shorter since it was measured, or ends, the names
// under which the segments of a split raw or EWF image are looked for, and the chunks of
// a compressed image decoded ahead of the reader.

#include "platform/read.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "platform/image.h"
#include "platform/read_ahead.h"
#include "support/fault_source.h"
#include "support/temp_dir.h"

namespace {

// A store of ten bytes, "0123456789", read through faults: its size as measured at the
// opening (none: its own), a bad range, an end since the opening, the read, and what it
// gives.
struct read_row {
    std::optional<uint64_t> measured;
    std::pair<uint64_t, uint64_t> bad;  // [start, end); empty: none
    std::optional<uint64_t> end;
    uint64_t offset;
    size_t length;
    std::string bytes;
    int error;
};

const read_row read_rows[] = {
    {{}, {}, {}, 0, 10, "0123456789", 0},
    {{}, {}, {}, 4, 10, "456789", 0},  // the bytes past the size are not asked for
    {{}, {}, {}, 10, 4, "", 0},
    {{}, {}, {}, 12, 4, "", 0},
    {{}, {3, 5}, {}, 0, 10, "012", EIO},  // the bytes before a bad sector arrive
    {{}, {3, 5}, {}, 4, 2, "", EIO},
    {{}, {3, 5}, {}, 5, 5, "56789", 0},
    {{}, {}, 6, 0, 10, "012345", platform::file_shrank},  // never taken for the end
    {{}, {}, 6, 2, 3, "234", 0},
    {{}, {}, 6, 7, 2, "", platform::file_shrank},
    {{}, {3, 4}, 6, 0, 10, "012", EIO},
    {{}, {8, 9}, 6, 0, 10, "012345", platform::file_shrank},
    {4, {}, {}, 0, 10, "0123", 0},  // a store opened again keeps its first size
    {14, {}, {}, 0, 20, "0123456789", platform::file_shrank},
    {14, {}, {}, 10, 4, "", platform::file_shrank},
};

TEST(SourceRead, EachReadGivesTheBytesBeforeAFaultAndNamesIt) {
    temp_dir dir;
    std::string path = dir.file("Inbox.dbx");
    std::ofstream(path, std::ios::binary) << "0123456789";
    for (size_t r = 0; r < std::size(read_rows); ++r) {
        const read_row& row = read_rows[r];
        SCOPED_TRACE("row " + std::to_string(r));
        platform::source_opening opening = platform::open_file_source(path.c_str(), row.measured);
        ASSERT_TRUE(opening.source);
        read_faults faults;
        if (row.bad.second > row.bad.first) faults.bad = bad_ranges({row.bad});
        if (row.end) faults.end = [end = *row.end](uint64_t, size_t) { return end; };
        auto source = with_faults(std::move(opening.source), faults);
        std::string buffer(row.length, '-');
        platform::read_outcome read = source->read(row.offset, buffer.data(), row.length);
        EXPECT_EQ(buffer.substr(0, read.count), row.bytes);
        EXPECT_EQ(read.error, row.error) << platform::read_error_text(read.error);
    }
}

// An image of ten bytes, "0123456789", digested as a run reads it: the reads (offset and
// length), a bad range, how far the digests got in order and the image's MD5 and SHA-256
// (as md5sum and sha256sum give them; none when some bytes could not be read). Bytes the
// reads pass over are read once by the digests, in order, and so are those after the last
// read.
struct digest_row {
    std::vector<std::pair<uint64_t, size_t>> reads;
    std::pair<uint64_t, uint64_t> bad;
    uint64_t in_order;
    bool digested;
};

const digest_row digest_rows[] = {
    {{{0, 10}}, {}, 10, true},
    {{{4, 3}}, {}, 10, true},                  // the bytes skipped and those after
    {{{0, 6}, {2, 3}, {8, 2}}, {}, 10, true},  // read again, then skipped
    {{{0, 4}}, {}, 10, true},
    {{}, {}, 0, false},  // nothing read: nothing to digest
    {{{0, 4}}, {6, 7}, 4, false},
    {{{8, 2}}, {3, 4}, 0, false},
};

TEST(SourceRead, AnImageIsDigestedOnceWhateverOrderItIsReadIn) {
    temp_dir dir;
    std::string path = dir.file("disk.img");
    std::ofstream(path, std::ios::binary) << "0123456789";
    for (size_t r = 0; r < std::size(digest_rows); ++r) {
        const digest_row& row = digest_rows[r];
        SCOPED_TRACE("row " + std::to_string(r));
        read_faults faults;
        if (row.bad.second > row.bad.first) faults.bad = bad_ranges({row.bad});
        platform::image_reading reading;
        {
            auto image = platform::digesting_reads(
                with_faults(platform::open_image_source(path.c_str()).source, faults),
                [&reading](const platform::image_reading& read) { reading = read; });
            for (auto [offset, length] : row.reads) {
                std::string buffer(length, '-');
                image->read(offset, buffer.data(), length);
            }
        }
        EXPECT_EQ(reading.read_in_order, row.in_order);
        ASSERT_EQ(reading.data.has_value(), row.digested);
        if (!row.digested) continue;
        EXPECT_EQ(reading.data->md5, "781e5e245d69b566979b86e28d23f2c7");
        EXPECT_EQ(reading.data->sha256,
                  "84d89877f0d4041efb6bf91a16f0248f2fd573e6af05c19f96bedb9f882f7882");
    }
}

// What opening refuses, and why.
TEST(SourceRead, AFolderOrAMissingFileIsNoSource) {
    temp_dir dir;
    platform::source_opening folder = platform::open_file_source(dir.file("").c_str());
    EXPECT_FALSE(folder.source);
#ifndef _WIN32  // Windows refuses to open a folder as a file
    EXPECT_TRUE(folder.opened);
    EXPECT_EQ(folder.error, EISDIR);
#endif
    platform::source_opening missing = platform::open_file_source(dir.file("none.dbx").c_str());
    EXPECT_FALSE(missing.source);
    EXPECT_FALSE(missing.opened);
    EXPECT_EQ(missing.error, ENOENT);
}

// A first segment, and names of the segments after it that are looked for: by their place
// in the series, and how many there are.
struct series_row {
    const char* first;
    size_t count;
    std::vector<std::pair<size_t, const char*>> names;
};

const series_row split_rows[] = {
    {"disk.001", 998, {{0, "disk.002"}, {8, "disk.010"}, {997, "disk.999"}}},
    {"disk.aa", 675, {{0, "disk.ab"}, {24, "disk.az"}, {25, "disk.ba"}, {674, "disk.zz"}}},
    {"DISK.AA", 675, {{0, "DISK.AB"}, {674, "DISK.ZZ"}}},
    {"a.b/x.001", 998, {{0, "a.b/x.002"}}},
    {".001", 998, {{0, ".002"}}},
    // No first segment: the file is read as a plain image.
    {"disk.002", 0, {}},
    {"disk.000", 0, {}},
    {"disk.ab", 0, {}},
    {"disk.Aa", 0, {}},
    {"disk.0001", 0, {}},
    {"disk.01", 0, {}},
    {"disk.001.img", 0, {}},
    {"disk", 0, {}},
    {"disk.E01", 0, {}},
};

TEST(ImageSegments, SplitRawSegmentsFollowTheFirstInItsSeries) {
    for (const series_row& row : split_rows) {
        SCOPED_TRACE(row.first);
        std::vector<std::string> names = platform::split_segment_names(row.first);
        ASSERT_EQ(names.size(), row.count);
        for (auto [at, name] : row.names) EXPECT_EQ(names[at], name);
    }
}

// The files an EWF image's segment names find beside them: the files there, the name
// given, and the names found (in order).
struct ewf_row {
    std::vector<std::string> files;
    const char* given;
    std::vector<std::string> found;
};

TEST(ImageSegments, EwfSegmentsAreTheFilesOfItsSeries) {
    std::vector<std::string> hundred;
    for (int k = 1; k <= 99; ++k)
        hundred.push_back((k < 10 ? "disk.E0" : "disk.E") + std::to_string(k));
    hundred.push_back("disk.EAA");
    const ewf_row rows[] = {
        {{"disk.E01", "disk.E02", "disk.E03"}, "disk.E01", {"disk.E01", "disk.E02", "disk.E03"}},
        // A later segment names the whole image.
        {{"disk.E01", "disk.E02", "disk.E03"}, "disk.E02", {"disk.E01", "disk.E02", "disk.E03"}},
        // The series stops at the first segment missing.
        {{"disk.E01", "disk.E03"}, "disk.E01", {"disk.E01"}},
        {hundred, "disk.E01", hundred},
        {{"x.e01", "x.e02"}, "x.e01", {"x.e01", "x.e02"}},
        {{"d.s01", "d.s02"}, "d.s01", {"d.s01", "d.s02"}},
        {{}, "disk.E01", {}},
        {{"disk"}, "disk", {}},
    };
    for (const ewf_row& row : rows) {
        SCOPED_TRACE(row.given);
        temp_dir dir;
        for (const std::string& file : row.files) std::ofstream(dir.file(file)) << "";
        std::optional<std::vector<std::string>> names =
            platform::ewf_segment_names(dir.file(row.given).c_str());
#ifdef _WIN32
        EXPECT_FALSE(names) << "this build reads no EWF image";
#else
        ASSERT_TRUE(names);
        std::vector<std::string> expected;
        for (const std::string& name : row.found) expected.push_back(dir.file(name));
        EXPECT_EQ(*names, expected);
#endif
    }
}

// Chunk k of the image, as the second thread's reader decodes it: 'a' + k, once per byte.
// It cannot decode the chunks in `refused`.
class lettered_chunks : public platform::chunk_reader {
  public:
    bool read_chunk(uint64_t index, size_t length, std::vector<char>& into) override {
        decoded.push_back(int(index));
        into.assign(length, char('a' + index));
        return index != refused;
    }
    std::vector<int> decoded;
    uint64_t refused = 6;
};

// One step of a reader and the second thread over an image of 38 bytes in chunks of 4 (the
// last one 2 bytes), 3 chunks ahead and 2 more kept: a take() of chunk `index` and the
// bytes it gives ("" where the reader is to decode it, which it then does), or a step() and
// the chunk it decodes (-1: none wanted).
struct ahead_row {
    char call;
    int index;
    const char* bytes;
};

const ahead_row ahead_rows[] = {
    {'t', 0, ""},
    {'t', 1, ""},
    {'s', -1, ""},  // two chunks in order want none ahead
    {'t', 2, ""},
    {'s', 4, ""},
    {'s', -1, ""},  // the chunk after the reader's is its own
    {'t', 3, ""},
    {'s', 5, ""},
    {'s', 6, ""},
    {'s', -1, ""},
    {'t', 4, "eeee"},
    {'t', 5, "ffff"},
    {'t', 6, ""},  // the second thread's reader could not
                   // decode it
    {'s', 8, ""},
    {'t', 7, ""},
    {'s', 9, ""},
    {'t', 8, "iiii"},
    {'t', 9, "jj"},
    {'s', -1, ""},     // the image ends
    {'t', 5, "ffff"},  // kept
    {'t', 0, ""},      // no longer kept
    {'t', 1, ""},
    {'s', -1, ""},
};

TEST(ChunkReadAhead, ChunksReadInOrderAreDecodedAheadAndKeptAWhile) {
    platform::chunk_read_ahead ahead(4, 38, 3, 2);
    lettered_chunks second;
    int row = 0;
    for (const ahead_row& step : ahead_rows) {
        SCOPED_TRACE("row " + std::to_string(row++));
        if (step.call == 's') {
            size_t before = second.decoded.size();
            EXPECT_EQ(ahead.step(second), step.index >= 0);
            if (step.index >= 0) {
                ASSERT_EQ(second.decoded.size(), before + 1);
                EXPECT_EQ(second.decoded.back(), step.index);
            }
            continue;
        }
        platform::chunk_bytes got = ahead.take(uint64_t(step.index));
        if (*step.bytes == 0) {
            EXPECT_EQ(got, nullptr);
            size_t length = step.index == 9 ? 2 : 4;
            ahead.keep(uint64_t(step.index),
                       std::make_shared<std::vector<char>>(length, char('A' + step.index)));
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(std::string(got->begin(), got->end()), step.bytes);
        }
    }
    EXPECT_EQ(ahead.decoded_ahead(), 5u);
    EXPECT_EQ(ahead.used_ahead(), 4u);
    ahead.stop();
    EXPECT_FALSE(ahead.wait_for_work());
}

}  // namespace
