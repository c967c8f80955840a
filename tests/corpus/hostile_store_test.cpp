// Every hostile store, end to end: the scan finds the blocks and chains its construction
// put there, and a save run writes one .eml per chain and reports no error.
//
// The cases named Large* are stores of 4 GiB and more: only their first 4 GiB are scanned,
// every 32-bit next offset counts as within the file, and the scan says so in one line on
// standard error.

#include <algorithm>
#include <memory>
#include <ostream>

#include "dbx/dbx.h"
#include "engine_fixture.h"
#include "tools/dbxgen/hostile.h"

namespace dbxgen {

// A failing case names its shape.
void PrintTo(const hostile_shape& shape, std::ostream* out) {
    *out << shape.name;
}

}  // namespace dbxgen

namespace {

struct store_closer {
    void operator()(dbx_t* store) const { dbx_close(store); }
};

int count_lines_with(const std::string& text, const std::string& mark) {
    int count = 0;
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
        count++;
    return count;
}

// Wine finds each new name by reading through the whole folder, so filling one folder
// with 100,000 files takes hours there; a Windows build lists such a store instead.
#ifdef _WIN32
constexpr int most_files_saved = 10000;
#else
constexpr int most_files_saved = 1000000;
#endif

class hostile_store_test : public engine_test,
                           public testing::WithParamInterface<dbxgen::hostile_shape> {};

TEST_P(hostile_store_test, GivesTheCountsOfItsConstruction) {
    const dbxgen::hostile_shape& shape = GetParam();
    dbxgen::hostile_store expected = shape.make();
    std::string path = dir.file("Inbox.dbx");
    ASSERT_TRUE(dbxgen::write_hostile_store(expected, path));
    expected.pieces.clear();  // the larger stores hold tens of megabytes

    std::unique_ptr<dbx_t, store_closer> store;
    auto scan = capture_output([&] { store.reset(dbx_open(path.c_str())); });
    ASSERT_TRUE(store) << scan.err;
    EXPECT_EQ(store->lists[0].block_count, expected.live.blocks);
    EXPECT_EQ(store->lists[0].chain_count, expected.live.chains);
    EXPECT_EQ(store->lists[1].block_count, expected.freed.blocks);
    EXPECT_EQ(store->lists[1].chain_count, expected.freed.chains);
    EXPECT_EQ(std::count(scan.err.begin(), scan.err.end(), '\n'), shape.large ? 1 : 0) << scan.err;
    store.reset();

    if (expected.saved() > most_files_saved) {
        run(path, 0);
        EXPECT_EQ(view.rows.size(), size_t(expected.saved()));
        return;
    }
    std::string out = dir.file("out");
    auto result = run(path, 1, out);
    std::string folder = out + separator + "Inbox";
    EXPECT_EQ(files_in(folder).size(), size_t(expected.live.chains));
    EXPECT_EQ(files_in(folder + separator + "deleted").size(), size_t(expected.freed.chains));
    EXPECT_EQ(count_lines_with(result.out, "     OK: "), expected.saved());
    EXPECT_EQ(count_lines_with(result.out, "  ERROR: "), 0);
    EXPECT_EQ(result.outcome.errors, 0);
}

std::string shape_name(const testing::TestParamInfo<dbxgen::hostile_shape>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(HostileStores, hostile_store_test,
                         testing::ValuesIn(dbxgen::hostile_shapes()), shape_name);

}  // namespace
