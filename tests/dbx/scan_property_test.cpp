// The fast scan against the literal one on thousands of random stores: the same lists,
// links, chain heads and standard output, whatever the read size. Every store comes from
// a seed, printed on failure, so a failing case can be run again.

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <tuple>

#include "dbx/scan.h"
#include "reference_scan.h"
#include "scan_helpers.h"
#include "support/capture.h"

namespace {

using dbxgen::random_source;
using dbxgen::store_image;

constexpr uint64_t base_seed = 0x5EED0DB0;
constexpr int store_count = 2000;

// Sets the scan's read size for the life of the object.
class chunk_size_override {
  public:
    explicit chunk_size_override(size_t bytes) : saved_(_dbx_scan_chunk_size()) {
        _dbx_set_scan_chunk_size(bytes);
    }
    ~chunk_size_override() { _dbx_set_scan_chunk_size(saved_); }

  private:
    size_t saved_;
};

uint32_t store_size(random_source& random) {
    switch (random.below(20)) {
        case 0:
            return 0;
        case 1:
        case 2:
        case 3:
            return uint32_t(random.between(1, 999));
        case 4:
        case 5:
        case 6:
        case 7:
            return uint32_t(random.between(12000, 60000));
        default:
            return uint32_t(random.between(1000, 12000));
    }
}

// Background bytes: zeros, random bytes, or words that equal their own offsets (every
// one of them a candidate the scan must look at closely).
void fill_background(store_image& image, uint32_t size, random_source& random) {
    image.resize(size);
    unsigned kind = unsigned(random.below(4));
    for (uint32_t p = 0; p + 4 <= size; p += 4) {
        if (kind == 1) image.put_word(p, uint32_t(random.next()));
        if (kind == 2 && random.chance(30)) image.put_word(p, p);
        if (kind == 3 && random.chance(5)) image.put_word(p, random.chance(50) ? 512 : 508);
    }
}

uint32_t word_offset_below(random_source& random, uint32_t bound) {
    return bound < 4 ? 0 : uint32_t(random.below(bound / 4)) * 4;
}

// A next-block offset of every interesting sort: another block (earlier or later, same
// list or not), nothing, its own offset, outside the file, off a word.
uint32_t pick_next(random_source& random, const std::vector<uint32_t>& placed, uint32_t self,
                   uint32_t size) {
    switch (random.below(12)) {
        case 0:
        case 1:
            return 0;
        case 2:
            return self;
        case 3:
            return word_offset_below(random, size);
        case 4:
            return size + uint32_t(4 * random.below(4));
        case 5:
            return uint32_t(random.below(size + 1)) | 1;
        case 6:
            return 0xFFFFFFFC;
        case 7:
            return placed.empty() ? 0 : placed[random.below(placed.size())] + 4;
        default:
            return placed.empty() ? 0 : placed[random.below(placed.size())];
    }
}

uint32_t pick_used(random_source& random) {
    switch (random.below(10)) {
        case 0:
            return uint32_t(random.between(0, 1)) ? 513 : 0;
        case 1:
            return 0xFFFFFFFF;
        case 2:
            return 512;
        default:
            return uint32_t(random.between(1, 512));
    }
}

uint32_t pick_free_word(random_source& random, uint32_t size) {
    switch (random.below(8)) {
        case 0:
            return size + 4 * uint32_t(random.below(3));
        case 1:
            return word_offset_below(random, size) | 2;
        case 2:
            return 0;
        default:
            return word_offset_below(random, size);
    }
}

// Where the next header goes: on a 528-byte grid (so that blocks follow each other as in
// a real store), anywhere on a word, or at the very end of the file.
uint32_t pick_place(random_source& random, uint32_t size, uint32_t& grid) {
    switch (random.below(8)) {
        case 0:
            return std::max<uint32_t>(16,
                                      size >= 24 ? size - uint32_t(4 * random.between(1, 6)) : 16);
        case 1:
        case 2:
            return 16 + word_offset_below(random, size);
        default: {
            uint32_t place = grid;
            grid += dbxgen::block_size + 4 * uint32_t(random.below(3) == 0 ? random.below(40) : 0);
            return place;
        }
    }
}

// Real chains now and then: a message or a fragment laid out in order, reversed or
// shuffled.
void add_chain(store_image& image, random_source& random, uint32_t size, uint32_t& grid) {
    size_t count = size_t(random.between(1, 5));
    if (grid + count * dbxgen::block_size > size) return;
    auto order = dbxgen::block_order(random.below(3));
    std::vector<uint32_t> places = dbxgen::lay_out_blocks(grid, count, order, random);
    std::string text(size_t(random.between(1, int64_t(count) * 508)), 'm');
    if (random.chance(50))
        image.add_message(
            text.substr(0, std::min<size_t>(text.size(), count * 512)),
            std::span<const uint32_t>(places).first(dbxgen::live_blocks_for(text.size())));
    else
        image.add_freed_fragment(
            text, std::span<const uint32_t>(places).first(dbxgen::freed_blocks_for(text.size())),
            word_offset_below(random, size));
    grid += uint32_t(count) * dbxgen::block_size;
}

store_image random_store(random_source& random) {
    uint32_t size = store_size(random);
    store_image image;
    fill_background(image, size, random);
    if (size >= 16 && random.chance(80)) image.put_signature();
    // Places first, so that next-block offsets can name blocks on either side.
    std::vector<uint32_t> places;
    uint32_t grid = 16;
    int blocks = size < 16 ? 0 : int(random.below(size / 300 + 3));
    for (int i = 0; i < blocks; i++) {
        if (random.chance(10)) add_chain(image, random, size, grid);
        uint32_t place = pick_place(random, size, grid);
        if (place < size) places.push_back(place);
    }
    for (uint32_t place : places) {
        uint32_t next = pick_next(random, places, place, size);
        if (random.chance(60))
            image.put_live_header(place, pick_used(random), next);
        else
            image.put_freed_header(place, next, pick_free_word(random, size));
        if (random.chance(5)) image.put_word(place + 8, 528);  // freed size under a live marker
    }
    // Rings of two or three, and several blocks naming one.
    if (places.size() >= 3 && random.chance(30)) {
        size_t a = random.below(places.size()), b = random.below(places.size()),
               c = random.below(places.size());
        image.put_word(places[a] + 12, places[b]);
        image.put_word(places[b] + 12, random.chance(50) ? places[a] : places[c]);
        image.put_word(places[c] + 12, places[a]);
    }
    if (places.size() >= 4 && random.chance(30)) {
        uint32_t target = places[random.below(places.size())];
        for (int i = 0; i < 3; i++)
            image.put_word(places[random.below(places.size())] + 12, target);
    }
    image.resize(size);  // headers placed near the end are cut off there
    return image;
}

size_t pick_chunk(random_source& random) {
    static const size_t sizes[] = {1,  2,  3,  4,  5,  7,  8,  12,  13,  16,  19,  20,
                                   21, 24, 31, 32, 33, 63, 64, 100, 527, 528, 529, 4096};
    if (random.chance(10)) return size_t(1) << 20;
    return sizes[random.below(std::size(sizes))];
}

void expect_same_list(const dbx_block_list_t& fast, const dbx_block_list_t& literal) {
    ASSERT_EQ(fast.block_count, literal.block_count);
    ASSERT_EQ(fast.blocks.size(), literal.blocks.size());
    for (size_t i = 0; i < fast.blocks.size(); i++) {
        const dbx_block_t& a = fast.blocks[i];
        const dbx_block_t& b = literal.blocks[i];
        ASSERT_EQ(a.offset, b.offset) << "entry " << i;
        EXPECT_EQ(a.next_offset, b.next_offset) << "entry " << i;
        EXPECT_EQ(a.data_size, b.data_size) << "entry " << i;
        EXPECT_EQ(a.prev, b.prev) << "entry " << i << " at " << a.offset;
        EXPECT_EQ(a.next, b.next) << "entry " << i << " at " << a.offset;
    }
    ASSERT_EQ(fast.chain_count, literal.chain_count);
    ASSERT_EQ(fast.chains.size(), literal.chains.size());
    for (size_t i = 0; i < fast.chains.size(); i++)
        EXPECT_EQ(fast.chains[i] - fast.blocks.data(), literal.chains[i] - literal.blocks.data())
            << "chain " << i;
}

// One store to scan, with the read size to use.
struct scan_case {
    std::string path;
    size_t chunk;
    std::string label;  // printed on failure: how to make the case again
};

// Cuts the output of several scans in one capture into each scan's part.
std::vector<std::string> split_scans(const std::string& out) {
    const std::string marker = "------ Scanning ";
    std::vector<std::string> parts;
    for (size_t at = out.find(marker); at != std::string::npos;) {
        size_t next = out.find(marker, at + marker.size());
        parts.push_back(out.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return parts;
}

// Opens every case in turn under one capture (files are slow to make under wine, so
// output is not captured per store).
std::vector<opened_store> open_all(const std::vector<scan_case>& cases,
                                   dbx_t* (*opener)(const char*)) {
    std::vector<opened_store> opened(cases.size());
    captured_output output = capture_output([&] {
        for (size_t i = 0; i < cases.size(); i++) {
            chunk_size_override read_size(cases[i].chunk);
            opened[i].store.reset(opener(cases[i].path.c_str()));
        }
    });
    std::vector<std::string> parts = split_scans(output.out);
    EXPECT_EQ(parts.size(), cases.size());
    for (size_t i = 0; i < cases.size() && i < parts.size(); i++) opened[i].out = parts[i];
    EXPECT_EQ(output.err, "");
    return opened;
}

// Scans the cases both ways; true when every one agrees.
bool agree(const std::vector<scan_case>& cases) {
    std::vector<opened_store> fast =
        open_all(cases, [](const char* path) { return dbx_open(path); });
    std::vector<opened_store> literal = open_all(cases, reference_open);
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE(cases[i].label);
        if (!fast[i].store || !literal[i].store) {
            ADD_FAILURE() << "could not open " << cases[i].path;
            return false;
        }
        EXPECT_EQ(fast[i].out, literal[i].out);
        EXPECT_EQ(fast[i].store->file_size, literal[i].store->file_size);
        for (int which = 0; which < 2; which++) {
            SCOPED_TRACE(which == 0 ? "messages" : "deleted message fragments");
            expect_same_list(fast[i].store->lists[which], literal[i].store->lists[which]);
            expect_consistent_links(fast[i].store->lists[which]);
        }
        if (testing::Test::HasFailure()) return false;  // one failing store says enough
    }
    return true;
}

TEST(ScanProperty, FastScanAgreesWithTheLiteralOneOnRandomStores) {
    constexpr int batch = 100;
    temp_dir folder;
    int checked = 0;
    for (int first = 0; first < store_count; first += batch) {
        std::vector<scan_case> cases;
        for (int i = first; i < first + batch && i < store_count; i++) {
            uint64_t seed = base_seed + uint64_t(i);
            random_source random(seed);
            store_image image = random_store(random);
            size_t chunk = pick_chunk(random);
            std::string path = write_image(folder, image, "s" + std::to_string(i - first) + ".dbx");
            cases.push_back({path, chunk,
                             "seed " + std::to_string(seed) + ", size " +
                                 std::to_string(image.size()) + ", read size " +
                                 std::to_string(chunk)});
        }
        if (!agree(cases)) break;
        checked += int(cases.size());
    }
    EXPECT_EQ(checked, store_count);
}

// A realistic store read with every small read size: its headers fall across read
// boundaries at every possible point.
TEST(ScanProperty, EveryReadSizeFromOneToEightyGivesTheSameResult) {
    temp_dir folder;
    std::string path = folder.file("real.dbx");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    dbxgen::store_options options;
    options.seed = 7;
    options.messages = 12;
    options.deleted = 4;
    ASSERT_GT(dbxgen::write_store(options, out), 0);
    std::fclose(out);
    std::vector<scan_case> cases;
    for (size_t chunk = 1; chunk <= 80; chunk++)
        cases.push_back({path, chunk, "read size " + std::to_string(chunk)});
    EXPECT_TRUE(agree(cases));
}

// Every block the image scan hands over: list, position, own offset, next offset, size.
using found_block = std::tuple<int, uint64_t, uint32_t, uint32_t, int32_t>;

class recording_sink : public block_sink {
  public:
    void found(int list, uint64_t position, uint32_t own_offset, uint32_t next_offset,
               int32_t data_size) override {
        blocks.emplace_back(list, position, own_offset, next_offset, data_size);
    }
    std::vector<found_block> blocks;
};

std::vector<found_block> scan_image(const std::string& path, uint64_t size, size_t chunk) {
    chunk_size_override read_size(chunk);
    recording_sink sink;
    std::vector<unreadable_range> unreadable;
    std::unique_ptr<platform::byte_source> image = platform::open_file_source(path.c_str()).source;
    if (!image || image->size() != size) return {};
    capture_output([&] { _dbx_scan_image(*image, path, sink, unreadable); });
    return sink.blocks;
}

// Scanning a disk image in large reads passes over long stretches sixteen words at a time
// and looks closer only where a block marker follows; in reads shorter than such a
// stretch every position is looked at on its own. Both find the same blocks in random
// stores laid at random sectors of a megabyte of noise strewn with markers and words
// that match their position. (Progress stops the passing over every thousandth of the
// image, so an image must be large for the long stretches to be taken.)
TEST(ScanProperty, ImageScanFindsTheSameBlocksWhateverTheReadSize) {
    temp_dir folder;
    for (int i = 0; i < 12; i++) {
        uint64_t seed = base_seed + 100000 + uint64_t(i);
        random_source random(seed);
        store_image image;
        fill_background(image, 3 << 19, random);
        for (int s = 0; s < 12; s++) {
            store_image store = random_store(random);
            size_t at = size_t(random.below((image.size() - store.size()) / 512)) * 512;
            image.put_bytes(at, store.bytes().data(), store.size());
        }
        std::string path = write_image(folder, image, "image.img");
        auto large = scan_image(path, image.size(), size_t(1) << 20);
        size_t small = size_t(random.between(1, 60));
        EXPECT_EQ(scan_image(path, image.size(), small), large)
            << "seed " << seed << ", read size " << small;
        EXPECT_GT(large.size(), 30u) << "seed " << seed;
        if (testing::Test::HasFailure()) break;
    }
}

}  // namespace
