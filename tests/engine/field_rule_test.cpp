// A message that names its sender, receiver, subject and date twice is known by the last
// of each everywhere: in the list, in its file's name and time, in the record of the run
// and in its .msg file. A last Date that does not parse leaves the message undated
// everywhere, even after a Date that does.

#include "cfb_reader.h"
#include "engine_fixture.h"
#include "platform/text.h"

namespace {

constexpr uint32_t pr_subject = 0x0037001F, pr_client_submit_time = 0x00390040,
                   pr_sender_name = 0x0C1A001F, pr_display_to = 0x0E04001F;

struct twice_named {
    std::string text;
    std::string date_written;     // the last Date field
    std::optional<int64_t> date;  // its value
};

std::optional<int64_t> submit_time(const cfb_file& file) {
    const cfb_entry* entry = file.find("__properties_version1.0");
    if (entry == nullptr) return std::nullopt;
    auto properties = read_properties(entry->data, 32);
    if (!properties.values.count(pr_client_submit_time)) return std::nullopt;
    return static_cast<int64_t>(properties.values[pr_client_submit_time]) / 10000000 -
           11644473600LL;
}

std::string utf8(const std::u16string& text) {
    return platform::utf16_to_utf8(text);
}

TEST_F(engine_test, EveryConsumerTakesTheLastOfEachField) {
    const std::string first =
        "From: Ann\r\nTo: Bob\r\nSubject: Early\r\nDate: Tue, 15 Nov 1994 08:12:31 GMT\r\n";
    const twice_named messages[] = {
        {first + "From: Cid\r\nTo: Dan\r\nSubject: Late\r\nDate: Wed, 16 Nov 1994 08:12:31 "
                 "GMT\r\n\r\nBody\r\n",
         "Wed, 16 Nov 1994 08:12:31 GMT", 784973551},
        {first + "Subject: Late\r\nTo: Dan\r\nDate: yesterday\r\nFrom: Cid\r\n\r\nBody\r\n",
         "yesterday", std::nullopt},
    };
    dbxgen::store_image image;
    image.put_signature();
    const uint32_t heads[] = {0x2A0, 0x6A0};
    for (size_t i = 0; i < 2; ++i)
        image.add_message(messages[i].text, std::span<const uint32_t>(&heads[i], 1));
    image.resize(0xC00);
    std::string store = write_store(image);

    std::vector<chain_record> records;
    chain_observer = [&](const chain_record& record) { records.push_back(record); };
    auto result = run(store, 2, dir.file("out"));
    chain_observer = nullptr;
    ASSERT_EQ(result.outcome.errors, 0) << result.err;
    ASSERT_EQ(view.rows.size(), 2u);
    ASSERT_EQ(records.size(), 2u);

    std::string folder = dir.file("out") + separator + "Inbox" + separator;
    for (size_t i = 0; i < 2; ++i) {
        const twice_named& message = messages[i];
        SCOPED_TRACE("message " + std::to_string(i));
        const auto& cells = view.rows[i].cells;
        EXPECT_EQ(utf8(cells[0]), "Cid");
        EXPECT_EQ(utf8(cells[1]), "Late");
        EXPECT_EQ(utf8(cells[2]), "Dan");
        EXPECT_EQ(utf8(cells[3]), message.date_written);

        char number[16];
        std::snprintf(number, sizeof number, ".%08X.msg", heads[i]);
        std::string name = "Cid_Dan_Late" + std::string(number), path = folder + name;
        EXPECT_TRUE(records[i].file.ends_with(name)) << records[i].file;
        // An undated message carries the first second of 1970, as one without a Date field.
        EXPECT_EQ(modification_time(path), message.date.value_or(0));

        EXPECT_EQ(records[i].from, "Cid");
        EXPECT_EQ(records[i].to, "Dan");
        EXPECT_EQ(records[i].subject, "Late");
        EXPECT_EQ(records[i].date_written, message.date_written);
        EXPECT_EQ(records[i].date, message.date);

        cfb_file file = read_cfb(file_bytes(path));
        EXPECT_EQ(utf8(string_property(file, "", pr_sender_name)), "Cid");
        EXPECT_EQ(utf8(string_property(file, "", pr_display_to)), "Dan");
        EXPECT_EQ(utf8(string_property(file, "", pr_subject)), "Late");
        EXPECT_EQ(submit_time(file), message.date);
    }
}

}  // namespace
