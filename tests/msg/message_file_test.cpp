// A message's .msg file: what the item made of its bytes and header values says, read back
// with the project's own strict reader, and the file that cannot be written.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "cfb_reader.h"
#include "item/builder.h"
#include "msg/message.h"
#include "msg_driver.h"
#include "platform/fs.h"
#include "support/temp_dir.h"

namespace {

constexpr uint32_t pr_subject = 0x0037001F, pr_message_class = 0x001A001F,
                   pr_display_to = 0x0E04001F, pr_body = 0x1000001F,
                   pr_transport_headers = 0x007D001F, pr_sender_name = 0x0C1A001F,
                   pr_sender_email = 0x0C1F001F, pr_message_id = 0x1035001F,
                   pr_message_flags = 0x0E070003, pr_submit_time = 0x00390040,
                   pr_delivery_time = 0x0E060040, pr_display_name = 0x3001001F,
                   pr_smtp_address = 0x39FE001F, pr_recipient_type = 0x0C150003;

const std::u16string sample_text =
    u"From: \"Doe, Ann\" <ann@example.org>\r\n"
    u"To: \"Smith, Bob\" <bob@example.com>, carol@example.net (Carol C)\r\n"
    u"Subject: Quarterly figures\r\n"
    u"Date: Tue, 1 Jul 2003 10:52:37 +0200\r\n"
    u"Message-ID: <123@example.org>\r\n"
    u"\r\n"
    u"Hello Bob,\r\nthe figures are attached.\r\n";

msg_input sample() {
    return {u"\"Smith, Bob\" <bob@example.com>, carol@example.net (Carol C)", u"Quarterly figures",
            sample_text, true};
}

cfb_file read_back(const std::string& path) {
    cfb_file file = read_cfb(read_file(path));
    for (auto& problem : check_message(file)) ADD_FAILURE() << path << ": " << problem;
    return file;
}

uint64_t fixed_property(const cfb_file& file, const std::string& storage, uint32_t tag) {
    std::string prefix = storage.empty() ? "" : storage + "/";
    const cfb_entry* e = file.find(prefix + "__properties_version1.0");
    if (!e) return ~0ull;
    auto props = read_properties(e->data, storage.empty() ? 32 : 8);
    return props.values.count(tag) ? props.values[tag] : ~0ull;
}

}  // namespace

TEST(MessageFile, HoldsTheMessageAndItsHeaderValues) {
    temp_dir dir;
    std::string path = save_message_file(dir.path().string(), u"Ann_Bob_Hi.000002A0.msg", sample());
    cfb_file file = read_back(path);
    ASSERT_TRUE(file.problems.empty());

    EXPECT_EQ(string_property(file, "", pr_message_class), u"IPM.Note");
    EXPECT_EQ(string_property(file, "", pr_subject), u"Quarterly figures");
    EXPECT_EQ(string_property(file, "", pr_body), body_of(sample_text));
    EXPECT_EQ(string_property(file, "", pr_display_to), u"Smith, Bob; Carol C");
    EXPECT_EQ(fixed_property(file, "", pr_message_flags), 1u);  // read, sent

    // Two recipients of type To, each with its name and address.
    const char* names[] = {"__recip_version1.0_#00000000", "__recip_version1.0_#00000001"};
    EXPECT_EQ(string_property(file, names[0], pr_display_name), u"Smith, Bob");
    EXPECT_EQ(string_property(file, names[0], pr_smtp_address), u"bob@example.com");
    EXPECT_EQ(string_property(file, names[1], pr_display_name), u"Carol C");
    EXPECT_EQ(string_property(file, names[1], pr_smtp_address), u"carol@example.net");
    EXPECT_EQ(fixed_property(file, names[1], pr_recipient_type), 1u);

    // What only the text carries.
    EXPECT_EQ(string_property(file, "", pr_sender_name), u"Doe, Ann");
    EXPECT_EQ(string_property(file, "", pr_sender_email), u"ann@example.org");
    EXPECT_EQ(string_property(file, "", pr_message_id), u"<123@example.org>");
    std::u16string headers = string_property(file, "", pr_transport_headers);
    EXPECT_EQ(headers, sample_text.substr(0, sample_text.find(u"\r\n\r\n") + 2));
    // 2003-07-01 08:52:37 UTC as a FILETIME.
    uint64_t expected = (1057049557ull + 11644473600ull) * 10000000ull;
    EXPECT_EQ(fixed_property(file, "", pr_submit_time), expected);
    EXPECT_EQ(fixed_property(file, "", pr_delivery_time), expected);

    static const uint8_t mail_message[16] = {0x0B, 0x0D, 0x02, 0, 0, 0, 0, 0,
                                             0xC0, 0,    0,    0, 0, 0, 0, 0x46};
    std::string bytes = read_file(path);
    size_t root_at = 512 * (1 + static_cast<size_t>(static_cast<uint8_t>(bytes[0x30]) |
                                                    static_cast<uint8_t>(bytes[0x31]) << 8));
    EXPECT_EQ(std::memcmp(bytes.data() + root_at + 0x50, mail_message, 16), 0);
}

TEST(MessageFile, UnsentItemsAndMissingValuesLeaveNoEmptyStrings) {
    temp_dir dir;
    msg_input input{u"undisclosed-recipients:;", u"", u"", false};
    cfb_file file = read_back(save_message_file(dir.path().string(), u"x.msg", input));
    ASSERT_TRUE(file.problems.empty());
    EXPECT_EQ(fixed_property(file, "", pr_message_flags), 9u);  // read, unsent
    EXPECT_EQ(file.find("__substg1.0_0037001F"), nullptr);
    EXPECT_EQ(file.find("__substg1.0_1000001F"), nullptr);
    EXPECT_EQ(file.find("__substg1.0_0E04001F"), nullptr);
    EXPECT_EQ(file.find("__recip_version1.0_#00000000"), nullptr);

    // Nothing put at all, and a text without a header block.
    cfb_file bare = read_back(save_message_file(dir.path().string(), u"y.msg", {}));
    EXPECT_TRUE(bare.problems.empty());
    msg_input body_only{std::nullopt, std::nullopt, u"\r\njust a body", true};
    cfb_file no_header = read_back(save_message_file(dir.path().string(), u"z.msg", body_only));
    EXPECT_EQ(no_header.find("__substg1.0_007D001F"), nullptr);
    EXPECT_EQ(string_property(no_header, "", pr_body), u"just a body");
}

// The values given set what the file says, even where the text says otherwise.
TEST(MessageFile, GivenValuesWinOverTheText) {
    temp_dir dir;
    msg_input input = sample();
    input.to = u"=?utf-8?Q?J=C3=B6rg_M=C3=BCller?= <jm@example.de>";
    input.subject = u"Andere Betreffzeile \u00e9";
    cfb_file file = read_back(save_message_file(dir.path().string(), u"x.msg", input));
    EXPECT_EQ(string_property(file, "", pr_subject), u"Andere Betreffzeile \u00e9");
    EXPECT_EQ(string_property(file, "", pr_display_to), u"J\u00f6rg M\u00fcller");
    EXPECT_EQ(string_property(file, "__recip_version1.0_#00000000", pr_smtp_address),
              u"jm@example.de");
}

TEST(MessageFile, SameInputsGiveIdenticalFiles) {
    temp_dir one, two;
    msg_input input = sample();
    input.text = sample_text + std::u16string(3000, u'\u00e4');  // body outside the mini stream
    std::string a = read_file(save_message_file(one.path().string(), u"a.msg", input));
    std::string b = read_file(save_message_file(two.path().string(), u"other.msg", input));
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b);
}

TEST(MessageFile, LargeMessageReadsBack) {
    temp_dir dir;
    msg_input input = sample();
    std::u16string line = u"0123456789 abcdefghijklmnopqrstuvwxyz \u00c4\u00d6\u00dc\r\n";
    input.text->reserve(input.text->size() + (size_t{10} << 20));
    while (input.text->size() < (size_t{10} << 20)) *input.text += line;  // 20 MB as UTF-16
    cfb_file file = read_back(save_message_file(dir.path().string(), u"big.msg", input));
    ASSERT_TRUE(file.problems.empty());
    EXPECT_GT(file.difat_sectors, 0u);
    EXPECT_TRUE(string_property(file, "", pr_body) == body_of(*input.text));
}

TEST(MessageFile, UnwritablePathIsAnError) {
    temp_dir dir;
    std::string missing = dir.file("no such folder") + "/x.msg";
    std::string error = msg::write_message_file(item::build_item("", {}, {}, true), missing);
    EXPECT_EQ(error, "cannot write " + missing + ": " + std::strerror(ENOENT));
    EXPECT_FALSE(platform::file_size(missing.c_str()).has_value());
}
