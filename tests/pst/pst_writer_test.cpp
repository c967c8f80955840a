// The PST writer on the shapes real mail rarely has and readers stumble on: a message of
// hundreds of attachments and recipients (tables whose rows leave the heap), values of many
// megabytes, attached messages six deep, an empty message, a folder of 600 messages (tables
// over many heap pages and B-tree levels). The file must pass the strict check with every
// message a node of its folder, come out the same twice, and a failed write must be said.
// What Outlook keeps besides (the store's special folders, a message's times, keys and
// conversation) is read back value by value, and stores named as special folders must fill
// the file's own.
// Readers written elsewhere read the program's own stores' PSTs in scripts/check-outputs.

#include <gtest/gtest.h>

#include <fstream>

#include "item/identity.h"
#include "pst/writer.h"
#include "pst_check.h"
#include "pst_test_output.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace {

std::u16string text(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

item::message message(const std::string& subject, size_t body_size = 40) {
    item::message m;
    m.set_text(0x001A001F, u"IPM.Note");
    m.set_text(0x0037001F, text(subject));
    m.set_text(0x0C1A001F, u"Sender");
    m.set_fixed(0x0E070003, 1);
    m.set_fixed(0x0E060040, 127000000000000000ULL);
    m.set_text(0x1000001F, std::u16string(body_size, u'b'));
    return m;
}

item::attachment file_attachment(const std::string& name, size_t size) {
    item::attachment a;
    a.properties[0x37050003].fixed = 1;
    a.properties[0x3707001F].text = text(name);
    a.properties[0x37010102].bytes = std::string(size, 'd');
    return a;
}

// Writes the shapes; returns how many messages went into folders, or -1 when the writer
// said a write failed.
int write_shapes(pst::pst_output& out) {
    pst::pst_writer writer(out, u"Shapes", "shapes");
    auto folder = writer.add_folder(writer.top(), u"Shapes");
    auto many = writer.add_folder(folder, u"many");
    int added = 0;
    bool ok = true;
    auto add = [&](pst::pst_writer::folder_id where, const item::message& m) {
        ok = writer.add_message(where, m) && ok;
        ++added;
    };
    item::message crowded = message("crowded");
    for (int i = 0; i < 200; ++i)
        crowded.attachments.push_back(file_attachment("f" + std::to_string(i), 10));
    for (int i = 0; i < 300; ++i) {
        item::property_map recipient;
        recipient[0x3001001F].text = text("R" + std::to_string(i));
        recipient[0x0C150003].fixed = 1;
        crowded.recipients.push_back(recipient);
    }
    add(folder, crowded);
    add(folder, item::message{});
    item::message large = message("large", 100'000);
    large.attachments.push_back(file_attachment("large.bin", 9'000'000));
    large.attachments.push_back(file_attachment("empty.txt", 0));
    add(folder, large);
    item::message deep = message("deep");
    item::message* level = &deep;
    for (int depth = 0; depth < 6; ++depth) {
        item::attachment attached;
        attached.properties[0x37050003].fixed = 5;
        attached.embedded =
            std::make_unique<item::message>(message("level " + std::to_string(depth)));
        level->attachments.push_back(std::move(attached));
        level = level->attachments.back().embedded.get();
    }
    add(folder, deep);
    for (int i = 0; i < 600; ++i)
        add(many, message("message " + std::to_string(i), size_t(i) * 7 % 5000));
    ok = writer.finish() && ok;
    return ok ? added : -1;
}

TEST(PstWriter, ShapesPassTheStrictCheckTheSameTwice) {
    temp_dir dir;
    std::string files[2] = {dir.file("a.pst"), dir.file("b.pst")};
    int added = 0;
    for (const std::string& path : files) {
        file_output out(path);
        added = write_shapes(out);
        ASSERT_EQ(added, 604);
    }
    EXPECT_EQ(read_file(files[0]), read_file(files[1]));
    pst_check_result checked = check_pst_file(files[0], true);
    for (const std::string& problem : checked.problems) ADD_FAILURE() << problem;
    int messages = 0, attachments = 0;
    for (const auto& [nid, node] : checked.nodes) {
        if ((nid & 0x1F) != 0x04) continue;
        ++messages;
        // Every attachment, the one of no bytes too, has its data property (a record of
        // PR_ATTACH_DATA_BIN, 0x3701 of type 0x0102, or the attached message's, type 0x000D,
        // in its property context).
        for (const auto& [sub, content] : node.subnodes) {
            if ((sub & 0x1F) != 0x05) continue;
            ++attachments;
            bool has_data =
                content.data.find("\x01\x37\x02\x01") != std::string::npos ||
                content.data.find(std::string("\x01\x37\x0D\x00", 4)) != std::string::npos;
            EXPECT_TRUE(has_data) << std::hex << sub;
        }
        EXPECT_EQ(node.parent & 0x1F, 0x02u) << std::hex << nid;  // in a folder
        EXPECT_TRUE(checked.nodes.count(node.parent)) << std::hex << nid;
    }
    EXPECT_EQ(messages, added);
    EXPECT_EQ(attachments, 200 + 2 + 1);
}

TEST(PstWriter, AFailedWriteIsSaid) {
    temp_dir dir;
    for (uint64_t fail_after : {0x4000u, 0x100000u, 0x900000u}) {
        file_output out(dir.file("failing.pst"));
        out.fail_after = fail_after;
        EXPECT_EQ(write_shapes(out), -1) << fail_after;
    }
}

// Bytes written out as hexadecimal digits.
std::string hex(const std::string& digits) {
    std::string out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

std::string utf16le(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

TEST(PstWriter, SpecialFoldersAndWhatOutlookKeepsOfAMessage) {
    temp_dir dir;
    std::string path = dir.file("kept.pst");
    {
        file_output out(path);
        pst::pst_writer writer(out, u"Kept", "kept");
        item::message dated;
        dated.set_text(0x001A001F, u"IPM.Note");
        dated.set_text(0x0037001F, u"RE: Lunch");
        dated.set_text(0x007D001F, u"Subject: RE: Lunch\r\n");
        dated.set_text(0x1000001F, u"Hello");
        for (uint32_t name : {0x0C1A001Fu, 0x0042001Fu}) dated.set_text(name, u"Ann");
        for (uint32_t type : {0x0C1E001Fu, 0x0064001Fu}) dated.set_text(type, u"SMTP");
        for (uint32_t address : {0x0C1F001Fu, 0x0065001Fu})
            dated.set_text(address, u"ann@example.com");
        dated.set_fixed(0x00390040, 0x01D09BFDE719C000);  // 2015-06-01 00:00 UTC
        dated.set_fixed(0x3FDE0003, 1252);
        item::add_identity(dated, 0x01D2345678ABCDEF);
        item::message undated;
        undated.set_text(0x0037001F, u"no date");
        undated.set_text(0x007D001F, u"Thread-Index: AcPWt/2Rw5Y8x+QvQZu6hUNvyq1RQgAAAAAB\r\n");
        item::add_identity(undated, 0x01D2345678ABCDEF);
        // Each store's messages go where its name says.
        const std::vector<std::u16string> paths[] = {
            {u"Deleted Items"}, {u"inbox", u"deleted"}, {u"Sent Items"}, {u"Archive"}, {u"DRAFTS"}};
        for (const auto& folder : paths)
            ASSERT_TRUE(writer.add_message(writer.folder(folder), dated));
        ASSERT_TRUE(writer.add_message(writer.folder({u"Archive"}), undated));
        // Subjects whose conversation topic is read below.
        for (const char16_t* subject : {u"Fwd: Plan", u"Re:Plan", u"10: Plan", u"Antwort: Plan"}) {
            item::message topical;
            topical.set_text(0x0037001F, subject);
            item::add_identity(topical, 0);
            ASSERT_TRUE(writer.add_message(writer.folder({u"Archive"}), topical));
        }
        ASSERT_TRUE(writer.finish());
    }
    pst_check_result checked = check_pst_file(path, true);
    for (const std::string& problem : checked.problems) ADD_FAILURE() << problem;

    // message node: its folder, that folder's parent
    const uint32_t placed[][3] = {
        {0x200024, 0x8062, 0x8022},  // Deleted Items: the file's own, below the top
        {0x200044, 0x8142, 0x8082},  // inbox/deleted: below the file's Inbox
        {0x200064, 0x80C2, 0x8022},  // Sent Items
        {0x200084, 0x8162, 0x8022},  // Archive: a folder of its own
        {0x2000A4, 0x80E2, 0x8022},  // DRAFTS: the file's Drafts
        {0x2000C4, 0x8162, 0x8022},  // Archive again: the same folder
    };
    for (const auto& [message, folder, parent] : placed) {
        EXPECT_EQ(checked.nodes[message].parent, folder) << std::hex << message;
        EXPECT_EQ(checked.nodes[folder].parent, parent) << std::hex << message;
    }

    // flags, the one-off provider, version 0, flags (Unicode, no rich text), NUL-ended texts
    const std::string sender_id = hex("00000000812B1FA4BEA310199D6E00DD010F540200000180") +
                                  utf16le(std::u16string(u"Ann\0SMTP\0ann@example.com\0", 25));
    const std::string sender_key = std::string("SMTP:ANN@EXAMPLE.COM\0", 21);
    // node, tag, value; a value of 4 bytes names a node: the last 4 bytes of an entry id
    const struct {
        uint32_t node, tag;
        std::string value;
    } rows[] = {
        {0x21, 0x35DF0003, hex("FF000000")},              // every special folder valid
        {0x21, 0x35E00102, hex("22800000")},              // the top of the personal folders
        {0x21, 0x35E20102, hex("A2800000")},              // Outbox
        {0x21, 0x35E30102, hex("62800000")},              // Deleted Items
        {0x21, 0x35E40102, hex("C2800000")},              // Sent Items
        {0x21, 0x35E50102, hex("22810000")},              // Folder Views
        {0x21, 0x35E60102, hex("02810000")},              // Common Views
        {0x21, 0x35E70102, hex("42800000")},              // Search Root
        {0x122, 0x3001001F, ""},                          // the root's name: empty, but there
        {0x122, 0x36D70102, hex("E2800000")},             // Drafts
        {0x200024, 0x30070040, hex("00C019E7FD9BD001")},  // created: its date
        {0x200024, 0x30080040, hex("00C019E7FD9BD001")},  // modified: its date
        {0x2000C4, 0x30070040, hex("EFCDAB785634D201")},  // undated: the run's time
        {0x200024, 0x300B0102, hex("578DA32DBE66565E3AE6EAD640CF653F")},
        {0x200024, 0x0C190102, sender_id},
        {0x200024, 0x00410102, sender_id},
        {0x200024, 0x0C1D0102, sender_key},
        {0x200024, 0x003B0102, sender_key},
        {0x200024, 0x0070001F, utf16le(u"Lunch")},
        {0x200024, 0x00710102, hex("0101D09BFDE7B8C7B644A8BB3DE70D5E0D6EA3E82945")},
        {0x200024, 0x3FFD0003, hex("E4040000")},            // the bodies' code page
        {0x2000C4, 0x3FFD0003, hex("E9FD0000")},            // none given: UTF-8
        {0x2000E4, 0x0070001F, utf16le(u"Plan")},           // a prefix of three letters
        {0x200104, 0x0070001F, utf16le(u"Re:Plan")},        // no blank after the colon
        {0x200124, 0x0070001F, utf16le(u"10: Plan")},       // digits are no prefix
        {0x200144, 0x0070001F, utf16le(u"Antwort: Plan")},  // nor seven letters
        {0x2000C4, 0x00710102, hex("01C3D6B7FD91C3963CC7E42F419BBA85436FCAAD51420000000001")},
    };
    for (const auto& row : rows) {
        std::map<uint32_t, std::string> properties = pst_properties(checked.nodes[row.node]);
        auto found = properties.find(row.tag);
        if (found == properties.end()) {
            ADD_FAILURE() << std::hex << row.node << " lacks " << row.tag;
            continue;
        }
        std::string value = found->second;
        if (row.value.size() == 4 && value.size() == 24) value = value.substr(20);
        EXPECT_EQ(value, row.value) << std::hex << row.node << " " << row.tag;
    }
}

}  // namespace
