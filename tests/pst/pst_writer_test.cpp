// The PST writer on the shapes real mail rarely has and readers stumble on: a message of
// hundreds of attachments and recipients (tables whose rows leave the heap), values of many
// megabytes, attached messages six deep, an empty message, a folder of 600 messages (tables
// over many heap pages and B-tree levels). The file must pass the strict check with every
// message a node of its folder, come out the same twice, and a failed write must be said.
// Readers written elsewhere read the program's own stores' PSTs in scripts/check-outputs.

#include <gtest/gtest.h>

#include <fstream>

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

}  // namespace
