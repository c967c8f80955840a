// Whole runs of the engine on generated stores: the lines it prints, the rows and
// progress it gives the dialog, the files it writes and the box it ends with.

#include <algorithm>
#include <filesystem>

#include "dbx/scan.h"
#include "engine_fixture.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/text.h"

namespace {

using dbxgen::store_image;

// Three live messages at 0x2A0, 0x4B0 and 0x6C0 and one fragment of two blocks.
store_image three_messages_and_a_fragment() {
    store_image image;
    image.put_signature();
    const uint32_t first[] = {0x2A0}, second[] = {0x4B0}, third[] = {0x6C0};
    image.add_message(mail("Ann", "Bob", "Hi"), first);
    image.add_message(mail("Cid", "Dee", "Lunch"), second);
    image.add_message(mail("Eve", "Fay", "Notes", ""), third);
    const uint32_t fragment[] = {0x8D0, 0xAE0};
    image.add_freed_fragment(std::string(600, 'x'), fragment, 0);
    image.resize(0x1000);
    return image;
}

TEST_F(engine_test, ListOnlyRunPrintsHeadersWithNullFoldersAndFillsTheList) {
    auto image = three_messages_and_a_fragment();
    std::string store = write_store(image);
    auto result = run(store, 0);

    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.out, "------ Recovering 3 messages from " + store +
                              " to (null)/(null) ... \n"
                              "------ 0 messages recovered, 0 errors\n"
                              "------ Recovering 1 deleted message fragments from " +
                              store +
                              " to (null)/(null) ... \n"
                              "------ 0 deleted message fragments recovered, 0 errors\n");
    ASSERT_EQ(view.rows.size(), 4u);
    EXPECT_EQ(view.rows[0].cells[0], u"Ann");
    EXPECT_EQ(view.rows[1].cells[1], u"Lunch");
    EXPECT_EQ(view.rows[2].cells[3], u"");
    // The scan's share first, then the share of each list done.
    ASSERT_GE(view.progress.size(), 6u);
    EXPECT_TRUE(std::is_sorted(view.progress.begin(), view.progress.end() - 6));
    EXPECT_EQ(std::vector<int>(view.progress.end() - 6, view.progress.end()),
              (std::vector<int>{0, 33, 66, 0, 0, 0}));
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(files_in(dir.file("")).size() == 1);  // only the store
}

TEST_F(engine_test, SaveRunWritesEveryMessageAndFragmentByteForByte) {
    auto image = three_messages_and_a_fragment();
    std::string store = write_store(image);
    std::string out = dir.file("out");
    auto result = run(store, 1, out);

    std::string folder = out + separator + "Inbox";
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "------ Recovering 3 messages from " + store + " to " + folder + "/" + folder +
                  " ... \n"
                  " 33.3%     OK: Ann_Bob_Hi.000002A0.eml\n"
                  " 66.7%     OK: Cid_Dee_Lunch.000004B0.eml\n"
                  "100.0%     OK: Eve_Fay_Notes.000006C0.eml\n"
                  "------ 3 messages recovered, 0 errors\n"
                  "------ Recovering 1 deleted message fragments from " +
                  store + " to " + folder + "/" + folder +
                  "/deleted ... \n"
                  "100.0%     OK: _(no_sender)_(no_receiver)_(no_subject).000008D0.eml\n"
                  "------ 1 deleted message fragments recovered, 0 errors\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(file_bytes(folder + "/Ann_Bob_Hi.000002A0.eml"), mail("Ann", "Bob", "Hi"));
    std::string fragment =
        file_bytes(folder + "/deleted/_(no_sender)_(no_receiver)_(no_subject).000008D0.eml");
    EXPECT_EQ(fragment, "----" + std::string(508, 'x') + "----" + std::string(92, 'x'));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Saving completed successfully         ");
    EXPECT_EQ(view.boxes[0].title, "Tavrin Morvale");
    EXPECT_EQ(view.boxes[0].flags, 0x1020u);
    EXPECT_EQ(*platform::current_directory(), start_directory);
}

// A list-only run reads only the headers, through a stream of the file read ahead when
// the heads lie close together; a save run reads each message whole. Both give the same
// rows, whatever size the file is read in (a thread of its own reads 1 MiB and 4 KiB
// pieces; 1000 bytes are read in place), with headers straddling the pieces.
// A header of a few hundred bytes to a few kilobytes, so that it runs over several blocks:
// long fields, folded ones, comments, now and then bare line feeds or a NUL byte.
std::string long_header(dbxgen::random_source& random) {
    const std::string fields[] = {
        "Received: from relay (relay [10.0.0.1]) by mx; Tue, 15 Nov 1994 08:12:31 +0000",
        "Subject: a subject folded\r\n  over (two) lines",
        "From: Ann <ann@example.com>",
        "To: Bob (the one) <bob@example.com>",
        "Date: Tue, 15 Nov 1994 08:12:31 GMT",
        "X-Note: " + std::string(600, 'n'),
        "Subject (c) : =?utf-8?Q?caf=C3=A9?=",
        "not a field",
        "To: x\n\nFrom: y",
        std::string("From: z\0q", 9)};
    std::string header;
    for (int64_t n = random.between(1, 24); n > 0; --n)
        header += fields[random.below(std::size(fields))] + "\r\n";
    return header + "\r\nbody\r\n";
}

// Messages and fragments with long headers, their blocks in file order, reversed or
// shuffled.
store_image long_header_store() {
    dbxgen::random_source random(11);
    store_image image;
    image.put_signature();
    uint32_t at = 0x200;
    for (int m = 0; m < 90; ++m) {
        std::string text = long_header(random);
        bool freed = m % 4 == 3;
        size_t count =
            freed ? dbxgen::freed_blocks_for(text.size()) : dbxgen::live_blocks_for(text.size());
        auto places = dbxgen::lay_out_blocks(at, count, dbxgen::block_order(m % 3), random);
        if (freed) {
            image.add_freed_fragment(text, places, 0);
        } else {
            image.add_message(text, places);
        }
        at += uint32_t(count) * dbxgen::block_size;
    }
    image.resize(at);
    return image;
}

TEST_F(engine_test, ListOnlyRowsEqualTheSaveRunsRowsWhateverTheReadSize) {
    for (uint64_t seed : {5, 23, 0}) {
        std::string store = dir.file("Inbox" + std::to_string(seed) + ".dbx");
        if (seed == 0) {
            auto image = long_header_store();
            store = write_store(image, "Long.dbx");
        } else {
            store = write_generated_store(seed, 120, 40, "Inbox" + std::to_string(seed) + ".dbx");
        }
        view.rows.clear();
        run(store, 1, dir.file("out" + std::to_string(seed)));
        auto saved_rows = view.rows;
        ASSERT_EQ(saved_rows.size(), seed == 0 ? 90u : 160u);
        for (size_t chunk : {size_t(1) << 20, size_t(65536), size_t(4096), size_t(1000)}) {
            _dbx_set_scan_chunk_size(chunk);
            view.rows.clear();
            run(store, 0);
            _dbx_set_scan_chunk_size(size_t(1) << 20);
            ASSERT_EQ(view.rows.size(), saved_rows.size()) << "chunk " << chunk;
            for (size_t r = 0; r < saved_rows.size(); ++r)
                EXPECT_EQ(view.rows[r].cells, saved_rows[r].cells)
                    << "seed " << seed << ", chunk " << chunk << ", row " << r;
        }
    }
}

TEST_F(engine_test, SavedFilesCarryTheMessageDate) {
    auto image = three_messages_and_a_fragment();
    run(write_store(image), 1, dir.file("out"));
    std::string folder = dir.file("out") + separator + "Inbox";
    EXPECT_EQ(modification_time(folder + "/Ann_Bob_Hi.000002A0.eml"), 784887151);
    // No Date field: the first second of 1970.
    EXPECT_EQ(modification_time(folder + "/Eve_Fay_Notes.000006C0.eml"), 0);
}

TEST_F(engine_test, DatesThePlatformRefusesLeaveTheWriteTimeAlone) {
    store_image image;
    image.put_signature();
    const uint32_t at[] = {0x2A0};
    image.add_message(mail("Ann", "Bob", "Old", "1 Jan 1960 00:00:00 GMT"), at);
    image.resize(0x600);
    run(write_store(image), 1, dir.file("out"));
    auto written = modification_time(dir.file("out/Inbox/Ann_Bob_Old.000002A0.eml"));
    EXPECT_GT(written, 1600000000);  // the moment it was saved, not 1960
}

TEST_F(engine_test, SavingTwiceReplacesOnlyWhatMayBeReplacedAndReusesTheFolders) {
    auto image = three_messages_and_a_fragment();
    std::string store = write_store(image);
    run(store, 1, dir.file("out"));
    auto second = run(store, 1, dir.file("out"));
    EXPECT_EQ(second.outcome.errors, 4);  // each file stands, not replaced
    EXPECT_EQ(platform::refused_replacements.exchange(0), 4);
    platform::run_outputs.replace_existing = true;
    auto third = run(store, 1, dir.file("out"));
    platform::run_outputs.replace_existing = false;
    EXPECT_EQ(third.outcome.errors, 0);
    EXPECT_EQ(files_in(dir.file("out/Inbox")).size(), 3u);
    EXPECT_EQ(view.boxes.back().flags, 0x1020u);
}

// A file with no block in it is most likely no store: the run says so instead of making
// an empty folder and reporting success.
TEST_F(engine_test, StoreWithNoBlockMakesNoFolderAndSaysNothingWasFound) {
    store_image image;
    image.put_signature();
    image.resize(2000);
    std::string store = write_store(image);
    auto result = run(store, 1, dir.file("out"));
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(dir.file("out/Inbox"))));
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text,
              "No messages were found in " + store + ". It may not be an Outlook Express store.");
    EXPECT_EQ(view.boxes[0].flags, 0x1030u);
}

TEST_F(engine_test, ProgressSendsTheShareOfTheListDoneAndResetsAfterTheList) {
    store_image image;
    image.put_signature();
    for (uint32_t i = 0; i < 250; ++i) {
        const uint32_t at[] = {0x10 + i * 528};
        image.add_message(mail("A", "B", "m" + std::to_string(i)), at);
    }
    run(write_store(image), 0);
    ASSERT_GE(view.progress.size(), 251u);
    std::vector<int> list_part(view.progress.end() - 251, view.progress.end());
    EXPECT_EQ(list_part[125], 50);
    EXPECT_EQ(list_part[249], 99);
    EXPECT_EQ(list_part[250], 0);
}

TEST_F(engine_test, AbandonedRunStopsAtItsCheckpointAndWritesNothingMore) {
    auto image = three_messages_and_a_fragment();
    std::string store = write_store(image);
    run(store, 0);
    int scan_checkpoints = view.checkpoints - 4;  // the list-only run had one per message

    recording_view fresh;
    scoped_main_dialog use(&fresh);
    fresh.abandon_at = scan_checkpoints + 2;  // at the second message
    auto result = run(store, 1, dir.file("out"));
    EXPECT_TRUE(result.outcome.abandoned);
    EXPECT_EQ(files_in(dir.file("out/Inbox")), std::vector<std::string>{"Ann_Bob_Hi.000002A0.eml"});
    EXPECT_TRUE(fresh.boxes.empty());
    EXPECT_EQ(fresh.rows.size(), 1u);
    EXPECT_EQ(result.out.find("recovered"), std::string::npos);
    EXPECT_EQ(*platform::current_directory(), start_directory);
}

TEST_F(engine_test, RunAbandonedDuringTheScanOpensNothing) {
    auto image = three_messages_and_a_fragment();
    image.resize(1 << 20);  // long enough for the scan to reach its checkpoints
    std::string store = write_store(image);
    view.abandon_at = 1;
    auto result = run(store, 1, dir.file("out"));
    EXPECT_TRUE(result.outcome.abandoned);
    EXPECT_FALSE(result.outcome.store_opened);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(dir.file("out/Inbox"))));
}

}  // namespace

namespace {

// A path of engine bytes as the file system sees it.
std::filesystem::path native_path(const std::string& bytes) {
#ifdef _WIN32
    return std::filesystem::path(platform::path_to_utf16(bytes));
#else
    return std::filesystem::path(bytes);
#endif
}

// Senders, receivers and subjects in several charsets become names people can read, the
// same on every system: UTF-8, cut at 31 bytes on a whole character, with tabs, C1
// controls and forbidden characters as one '_' each.
TEST_F(engine_test, NamesAreReadableInEveryCharset) {
    store_image image = dbxgen::charset_store();
    std::string out = dir.file("out");
    auto result = run(write_store(image), 1, out);
    EXPECT_EQ(result.outcome.errors, 0) << result.err;
    const std::vector<std::string> expected = {
        "Jürgen Müller _juergen@exampl_Françoise Lefèvre _francoise@_Grüße aus München"
        ".00000200.eml",
        "Smörgås _raw@example.se__René_ _rene@example.fr__Tab_NEL_CSI_ a_b_c.00000A40.eml",
        "Zoë Ørsted _zoe@example.dk__team@example.org_Café ✓ naïve résumé.00000830.eml",
        "Ольга Петровна С_Иван Кузнецов _ivan_Отчёт за квартал.00000410.eml",
        "王小明 _wang@example.cn__欧阳娜娜欧阳娜娜欧阳_季度报告_草稿.00000620.eml",
    };
    EXPECT_EQ(files_in(out + separator + "Inbox"), expected);
}

TEST_F(engine_test, MsgFilesWithDecodedNamesAreWrittenAndStampedUnderTheSameName) {
    store_image image;
    image.put_signature();
    const uint32_t at[] = {0x2A0};
    image.add_message(mail("Ann", "Bob", "=?iso-8859-1?Q?caf=E9?="), at);
    image.resize(0x800);
    std::string out = dir.file("out");
    auto result = run(write_store(image), 2, out);
    EXPECT_EQ(result.outcome.errors, 0) << result.err;
    std::string name = out + separator + "Inbox/Ann_Bob_caf\xC3\xA9.000002A0.msg";
    auto written = std::filesystem::last_write_time(native_path(name));
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(written).time_since_epoch());
    EXPECT_EQ(seconds.count(), 784887151);
}

}  // namespace
