// The store's own index and Folders.dbx, read beside the scan: one row per kind of damage,
// with what is still read and the note that says what is not.

#include "dbx/store_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dbx/folders_file.h"
#include "dbx/layout.h"
#include "scan_helpers.h"
#include "tools/dbxgen/indexed.h"

namespace {

using dbxgen::index_damage;

dbx_store_index index_of(const temp_dir& folder, const dbxgen::store_image& image) {
    opened_store opened = open_captured(write_image(folder, image));
    EXPECT_NE(opened.store, nullptr);
    return opened.store ? dbx_read_store_index(*opened.store) : dbx_store_index{};
}

TEST(StoreIndex, EachDamageLeavesWhatIsSoundAndSaysWhatIsNot) {
    struct row {
        index_damage damage;
        int unindexed;
        bool present;
        size_t entries;
        uint32_t stated;
        const char* note;
    };
    const std::string lost = "; what it still says is used";
    const row rows[] = {
        {index_damage::none, 0, true, 12, 12, ""},
        {index_damage::none, 3, true, 9, 9, ""},
        {index_damage::cut_tree, 0, true, 10, 12,
         "the store's index is damaged: a node lies outside the file; the file header states "
         "12 messages, the tree holds 10"},
        {index_damage::looping_nodes, 0, true, 12, 12,
         "the store's index is damaged: a node is reached twice (a loop)"},
        {index_damage::oversized_node, 0, true, 12, 12,
         "the store's index is damaged: a node states more entries than a node holds"},
        {index_damage::lying_count, 0, true, 12, 17,
         "the store's index is damaged: the file header states 17 messages, the tree holds 12"},
        {index_damage::freed_target, 0, true, 11, 12,
         "the store's index is damaged: a message info names a freed block"},
        {index_damage::stray_value, 0, true, 11, 12,
         "the store's index is damaged: an entry points at a message block"},
        {index_damage::cut_file, 0, true, 10, 12,
         "the store's index is damaged: a node lies outside the file; the file header states "
         "12 messages, the tree holds 10"},
    };
    temp_dir folder;
    for (const row& r : rows) {
        SCOPED_TRACE(dbxgen::damage_name(r.damage));
        dbxgen::indexed_store_options options;
        options.messages = 12;
        options.deleted = 2;
        options.damage = r.damage;
        options.unindexed = r.unindexed;
        dbx_store_index index = index_of(folder, dbxgen::indexed_store(options));
        EXPECT_EQ(index.present, r.present);
        EXPECT_EQ(index.entries.size(), r.entries);
        EXPECT_EQ(index.stated_count, r.stated);
        EXPECT_EQ(index.note, *r.note ? r.note + lost : "");
    }
}

// What each message info says comes through whole, in tree order, from a tree of four
// levels (two entries a node).
TEST(StoreIndex, ReadsEveryFieldOfADeepTree) {
    dbxgen::indexed_store_options options;
    options.messages = 30;
    options.fanout = 2;
    options.account = "Work";
    std::vector<dbxgen::indexed_message> written;
    temp_dir folder;
    opened_store opened =
        open_captured(write_image(folder, dbxgen::indexed_store(options, &written)));
    ASSERT_NE(opened.store, nullptr);
    dbx_store_index index = dbx_read_store_index(*opened.store);
    ASSERT_EQ(index.entries.size(), 30u);
    EXPECT_EQ(index.note, "");
    EXPECT_EQ(index.entries[0].first_block, 0x2ad4u);  // right after the file info
    std::vector<const dbx_index_entry*> entries;
    for (const dbx_index_entry& entry : index.entries) entries.push_back(&entry);
    std::vector<dbx_index_details> said = dbx_read_index_details(*opened.store, entries);
    for (size_t i = 0; i < written.size(); i++) {
        const dbx_index_entry& got = index.entries[i];
        const dbxgen::indexed_message& want = written[i];
        EXPECT_EQ(got.index_number, i + 1);
        EXPECT_EQ(got.first_block, want.first_block);
        EXPECT_EQ(got.flags, want.flags);
        EXPECT_EQ(got.received, want.received);
        EXPECT_EQ(got.priority, want.priority);
        const dbx_index_details& details = said[i];
        EXPECT_EQ(details.sent, want.sent);
        EXPECT_EQ(details.saved, want.saved);
        EXPECT_EQ(details.subject, want.subject);
        EXPECT_EQ(details.sender_name, want.sender_name);
        EXPECT_EQ(details.sender_address, want.sender_address);
        EXPECT_EQ(details.message_id, want.message_id);
        EXPECT_EQ(details.account, "Work");
        EXPECT_EQ(got.account, "Work");
    }
}

// The message infos are read in file order and given in tree order: a root whose first and
// last values are swapped names the last info first.
TEST(StoreIndex, GivesTheTreesOrderWhateverTheFilesOrder) {
    dbxgen::indexed_store_options options;
    options.messages = 5;
    options.fanout = 8;  // one node
    dbxgen::store_image image = dbxgen::indexed_store(options);
    auto word = [&](size_t at) { return dbx_layout::load_word(image.bytes().data() + at); };
    uint32_t root = word(0xe4), first = root + 0x18, last = first + 12 * 4;
    uint32_t first_value = word(first);
    image.put_word(first, word(last));
    image.put_word(last, first_value);
    temp_dir folder;
    dbx_store_index index = index_of(folder, image);
    EXPECT_EQ(index.note, "");
    std::vector<uint32_t> numbers;
    for (const dbx_index_entry& entry : index.entries) numbers.push_back(entry.index_number);
    EXPECT_EQ(numbers, (std::vector<uint32_t>{5, 2, 3, 4, 1}));
}

// A store written as a stream, with noise between its messages: its index names every live
// message by the first block of a chain the scan found, and nothing else.
TEST(StoreIndex, NamesEveryChainOfAStreamedStore) {
    temp_dir folder;
    std::string path = folder.file("streamed.dbx");
    dbxgen::store_options options;
    options.seed = 7;
    options.messages = 40;
    options.deleted = 6;
    options.index = true;
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_GT(dbxgen::write_store(options, out), 0);
    ASSERT_EQ(std::fclose(out), 0);
    opened_store opened = open_captured(path);
    ASSERT_NE(opened.store, nullptr);
    dbx_store_index index = dbx_read_store_index(*opened.store);
    EXPECT_EQ(index.note, "");
    std::vector<uint32_t> named, heads;
    for (const dbx_index_entry& entry : index.entries) named.push_back(entry.first_block);
    for (const std::vector<uint32_t>& chain : chain_offsets(opened.store->lists[0]))
        heads.push_back(chain[0]);
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, heads);
    EXPECT_EQ(named.size(), 40u);
}

// A store without a message store's header has no index, and nothing to say of it.
TEST(StoreIndex, NoHeaderNoIndexNoNote) {
    temp_dir folder;
    dbx_store_index index = index_of(folder, dbxgen::store_of_messages({"Subject: a\r\n\r\nx"}));
    EXPECT_FALSE(index.present);
    EXPECT_TRUE(index.entries.empty());
    EXPECT_EQ(index.note, "");
}

std::vector<dbxgen::folder_entry> identity_folders() {
    return {
        {0, 0xffffffffu, "Outlook Express", "", 0, 3},
        {1, 0, "Local Folders", "", 0, 3},
        {2, 1, "Inbox", "Inbox.dbx", 1, 3},
        {7, 2, "Clients", "Clients.dbx", 0, 3},
        {8, 7, "Acme", "Acme.dbx", 0, 3},
        {11, 1, "Archive", "Archive.dbx", 0, 3},
        {12, 11, "Invoices", "Receipts.dbx", 0, 3},
        {20, 0, "news.example.com", "", 0, 0},
        {21, 20, "comp.mail", "comp.mail.dbx", 0, 0},
    };
}

// Read from one tree, or from two: the second adds the folders the first lacks.
TEST(FolderTree, PathsFromTheTopDown) {
    for (size_t second_tree : {SIZE_MAX, size_t(4)}) {
        SCOPED_TRACE(second_tree);
        temp_dir folder;
        std::string path = write_image(
            folder, dbxgen::folders_file(identity_folders(), false, second_tree), "Folders.dbx");
        dbx_folder_tree tree = dbx_read_folder_tree(path.c_str());
        EXPECT_EQ(tree.note, "");
        ASSERT_EQ(tree.folders.size(), 9u);
        EXPECT_EQ(tree.folders[6].name, "Invoices");
        EXPECT_EQ(tree.folders[6].parent_id, 11u);
        EXPECT_EQ(tree.folders[2].special, 1u);
        struct row {
            const char* file;
            std::vector<std::string> path;
        };
        const row rows[] = {
            {"Inbox.dbx", {"Inbox"}},
            {"acme.DBX", {"Inbox", "Clients", "Acme"}},
            {"Receipts.dbx", {"Archive", "Invoices"}},  // renamed: the name shown
            {"comp.mail.dbx", {"news.example.com", "comp.mail"}},
            {"Elsewhere.dbx", {}},
            {"", {}},
        };
        for (const row& r : rows) EXPECT_EQ(dbx_folder_path(tree, r.file), r.path) << r.file;
    }
}

TEST(FolderTree, UnsoundFilesSayWhy) {
    temp_dir folder;
    std::string loop =
        write_image(folder, dbxgen::folders_file(identity_folders(), true), "Folders.dbx");
    dbx_folder_tree tree = dbx_read_folder_tree(loop.c_str());
    EXPECT_EQ(tree.folders.size(), 9u);
    EXPECT_EQ(
        tree.note,
        "Folders.dbx is damaged: 3 folders' parents run in a loop; what it still says is used");
    // Inbox and Clients name each other: the path stops where it would repeat.
    EXPECT_EQ(dbx_folder_path(tree, "Acme.dbx"),
              (std::vector<std::string>{"Inbox", "Clients", "Acme"}));

    dbxgen::indexed_store_options options;
    std::string store = write_image(folder, dbxgen::indexed_store(options), "Inbox.dbx");
    tree = dbx_read_folder_tree(store.c_str());
    EXPECT_TRUE(tree.folders.empty());
    EXPECT_EQ(tree.note, "Folders.dbx is not a folder list: its header is not one");

    tree = dbx_read_folder_tree(folder.file("missing.dbx").c_str());
    EXPECT_TRUE(tree.folders.empty());
    EXPECT_EQ(tree.note, "Folders.dbx cannot be read: No such file or directory");
}

// The generated identity, store by store: what its index gives and where Folders.dbx puts it.
TEST(FolderTree, TheGeneratedIdentity) {
    temp_dir folder;
    std::FILE* report = std::tmpfile();
    ASSERT_TRUE(dbxgen::write_identity(folder.path().string(), report));
    std::fclose(report);
    dbx_folder_tree tree = dbx_read_folder_tree(folder.file("Folders.dbx").c_str());
    EXPECT_EQ(tree.note, "");
    struct row {
        const char* file;
        int32_t chains;  // live messages the blocks hold
        size_t entries;  // messages the index names
        bool noted;
        std::vector<std::string> path;
    };
    const row rows[] = {
        {"Inbox.dbx", 14, 14, false, {"Inbox"}},
        {"Deleted Items.dbx", 5, 5, false, {"Deleted Items"}},
        {"Acme.dbx", 9, 9, false, {"Inbox", "Clients", "Acme"}},
        {"Globex.dbx", 12, 10, true, {"Inbox", "Clients", "Globex"}},
        {"Family.dbx", 10, 7, false, {"Inbox", "Family"}},
        {"Receipts.dbx", 7, 7, false, {"Archive", "Invoices"}},
        {"2004.dbx", 2, 4, false, {"Archive", "2004"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.file);
        opened_store opened = open_captured(folder.file(r.file));
        ASSERT_NE(opened.store, nullptr);
        dbx_store_index index = dbx_read_store_index(*opened.store);
        EXPECT_EQ(opened.store->lists[0].chain_count, r.chains);
        EXPECT_EQ(index.entries.size(), r.entries);
        EXPECT_EQ(!index.note.empty(), r.noted);
        EXPECT_EQ(dbx_folder_path(tree, r.file), r.path);
    }
    // What is in Drafts is a draft, and read.
    opened_store drafts = open_captured(folder.file("Drafts.dbx"));
    ASSERT_NE(drafts.store, nullptr);
    dbx_store_index index = dbx_read_store_index(*drafts.store);
    ASSERT_EQ(index.entries.size(), 2u);
    for (const dbx_index_entry& entry : index.entries)
        EXPECT_EQ(entry.flags & (dbx_flag_draft | dbx_flag_read), dbx_flag_draft | dbx_flag_read);
}

}  // namespace
