// The store's index joined to the scan's chains, and the state the outputs take from it: an
// index adds facts to the chains it names and never takes a chain away.

#include "engine/store_state.h"

#include <cerrno>
#include <filesystem>
#include <memory>

#include "engine/store_tree.h"
#include "engine_fixture.h"
#include "item/tags.h"
#include "tools/dbxgen/indexed.h"

namespace {

namespace fs = std::filesystem;

dbx_index_entry entry(uint32_t first_block, uint32_t number, uint32_t flags = 0) {
    dbx_index_entry made;
    made.first_block = first_block;
    made.index_number = number;
    made.flags = flags;
    return made;
}

struct store_closer {
    void operator()(dbx_t* store) const { dbx_close(store); }
};

}  // namespace

TEST_F(engine_test, TheIndexNamesChainsByTheirFirstBlockAndTheScanKeepsTheRest) {
    dbxgen::store_image image = one_message_and_one_fragment();  // 0x2A0 live, 0x800 freed
    std::string path = write_store(image);
    std::unique_ptr<dbx_t, store_closer> store;
    capture_output([&] { store.reset(dbx_open(path.c_str())); });
    ASSERT_TRUE(store);
    ASSERT_EQ(store->lists[0].chain_count, 1);
    ASSERT_EQ(store->lists[1].chain_count, 1);

    dbx_store_index index;
    index.present = true;
    index.entries = {entry(0x2A0, 7),  entry(0x2A0, 8), entry(0x800, 9), entry(0x1234, 10),
                     entry(0x2B0, 11), entry(0, 12)};  // 0x2B0: no chain begins there
    store_state state(*store, index);
    EXPECT_TRUE(state.indexed());
    ASSERT_NE(state.entry_of(0, 0), nullptr);
    EXPECT_EQ(state.entry_of(0, 0)->index_number, 7u);  // the first entry naming it
    ASSERT_NE(state.entry_of(1, 0), nullptr);
    EXPECT_EQ(state.entry_of(1, 0)->index_number, 9u);
    EXPECT_EQ(state.entry_of(0, 1), nullptr);
    EXPECT_EQ(state.entry_of(2, 0), nullptr);
    std::vector<uint32_t> missing;
    for (const dbx_index_entry* lost : state.missing()) missing.push_back(lost->index_number);
    EXPECT_EQ(missing, (std::vector<uint32_t>{10, 11}));

    store_state without(*store, dbx_store_index{});
    EXPECT_FALSE(without.indexed());
    EXPECT_EQ(without.entry_of(0, 0), nullptr);
    EXPECT_TRUE(without.missing().empty());
}

TEST(IndexState, FlagsGiveNamesItemStateAndMboxLines) {
    struct row {
        uint32_t flags;
        int priority;
        const char* names;
        bool read, replied, forwarded, flagged;
        const char* lines;  // of a message with CRLF line ends
    } rows[] = {
        {0x0, 0, "", false, false, false, false, "Status: O\r\n"},
        {0x80, 3, "read", true, false, false, false, "Status: RO\r\n"},
        {0x80080, 1, "read replied", true, true, false, false, "Status: RO\r\nX-Status: A\r\n"},
        {0x1000A0, 5, "read forwarded flagged", true, false, true, true,
         "Status: RO\r\nX-Status: F\r\n"},
        {0x80020, 0, "replied flagged", false, true, false, true, "Status: O\r\nX-Status: AF\r\n"},
        {0x4000 | 0x10000000, 0, "attachment 0x10000000", false, false, false, false,
         "Status: O\r\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.names);
        dbx_index_entry made = entry(0x2A0, 1, r.flags);
        made.priority = r.priority;
        made.received = 0x01C0000000000000;
        EXPECT_EQ(index_flag_names(r.flags), r.names);
        item::message_state state = item_state_of(made);
        EXPECT_EQ(state.read, r.read);
        EXPECT_EQ(state.replied, r.replied);
        EXPECT_EQ(state.forwarded, r.forwarded);
        EXPECT_EQ(state.flagged, r.flagged);
        EXPECT_EQ(state.priority, r.priority);
        EXPECT_EQ(state.received, 0x01C0000000000000u);
        EXPECT_EQ(mbox_status_lines(made, "From: a\r\nTo: b\r\n\r\n"), r.lines);
    }
    EXPECT_EQ(mbox_status_lines(entry(1, 1, 0x80), "From: a\nTo: b\n"), "Status: RO\n");
    EXPECT_EQ(seconds_of_filetime(0), std::nullopt);
    EXPECT_EQ(seconds_of_filetime(116444736000000000), 0);          // 1970-01-01
    EXPECT_EQ(seconds_of_filetime(125911584000000000), 946684800);  // 2000-01-01
}

// Where a store saved by itself goes: the folders its Folders.dbx nests it in, under the
// display names (safe for every file system), else its own folder; the folders above its own
// are made, never through a link.
TEST_F(engine_test, TheFolderTreePlacesAStoreSavedByItself) {
    dbxgen::store_image tree = dbxgen::folders_file({{0, 0xffffffffu, "Outlook Express", "", 0, 3},
                                                     {1, 0, "Local Folders", "", 0, 3},
                                                     {2, 1, "Archive: old", "", 0, 3},
                                                     {3, 2, "Invoices.", "Receipts.dbx", 0, 3}});
    write_store(tree, "Folders.dbx");
    EXPECT_EQ(store_output_names(dir.file("Receipts.dbx")),
              (std::vector<std::string>{"Archive_ old", "Invoices"}));
    EXPECT_EQ(store_output_names(dir.file("Inbox.DBX")), std::vector<std::string>{"Inbox"});

    std::string out = dir.file("out");
    fs::create_directory(fs::u8path(out));
    EXPECT_EQ(target_below(out + "/", {"Archive_ old", "Invoices"}, '/'),
              out + "/Archive_ old/Invoices.dbx");
    EXPECT_TRUE(fs::is_directory(fs::u8path(out + "/Archive_ old")));
    EXPECT_FALSE(fs::exists(fs::u8path(out + "/Archive_ old/Invoices")));  // the run makes it
    EXPECT_EQ(target_below(out, {"Inbox"}, '/'), out + "/Inbox.dbx");
#ifndef _WIN32
    fs::create_directory_symlink(dir.path(), fs::u8path(out + "/link"));
    errno = 0;
    EXPECT_EQ(target_below(out, {"link", "Inbox"}, '/'), std::nullopt);
    EXPECT_EQ(errno, ELOOP);
#endif
}
