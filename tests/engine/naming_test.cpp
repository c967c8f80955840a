// Message file names and the text read from a chain.

#include "engine/engine.h"
#include "engine/message_name.h"
#include "engine/read_message.h"
#include "engine/sys.h"
#include "engine_fixture.h"

namespace {

using dbxgen::store_image;
std::optional<std::string> none;

std::optional<std::string> value(const std::string& text) {
    return text;
}

TEST(message_file_name, JoinsSenderReceiverSubjectOffsetAndExtension) {
    EXPECT_EQ(message_file_name(value("Ann"), value("Bob"), value("Hi"), 0x2A0, 1),
              "Ann_Bob_Hi.000002A0.eml");
    EXPECT_EQ(message_file_name(value("Ann"), value("Bob"), value("Hi"), 0x2A0, 2),
              "Ann_Bob_Hi.000002A0.msg");
    EXPECT_EQ(message_file_name(none, none, none, 0xABCDEF10, 0),
              "_(no_sender)_(no_receiver)_(no_subject).ABCDEF10.eml");
}

TEST(message_file_name, DropsOneLeadingQuoteAndReplacesForbiddenBytes) {
    EXPECT_EQ(message_file_name(value("\"Ann Lee\" <ann@x.org>"), value("\"\"Bob"),
                                value("\"a/b:c\td?*|<>\\"), 0x10, 1),
              "Ann Lee_ _ann@x.org___Bob__a_b_c_d______.00000010.eml");
}

TEST(message_file_name, CutsSenderAndReceiverAt31BytesButKeepsTheSubject) {
    std::string sender(40, 's'), subject(200, 'j');
    std::string name = message_file_name(value(sender), value("Bob"), value(subject), 0x10, 1);
    EXPECT_EQ(name, std::string(31, 's') + "_Bob_" + subject + ".00000010.eml");
}

TEST(message_file_name, KeepsHighBytesAndStopsAtANulFromADecodedWord) {
    EXPECT_EQ(message_file_name(value("Ann"), value("Bob"), value("caf\xC3\xA9"), 0x10, 1),
              "Ann_Bob_caf\xC3\xA9.00000010.eml");
    EXPECT_EQ(message_file_name(value(std::string("A\0B", 3)), value("Bob"), value("Hi"), 0x10, 1),
              "A_Bob_Hi.00000010.eml");
}

TEST(message_file_name, LongNamesAreCutInTheSubjectNeverInsideACharacter) {
    std::string subject;
    for (int i = 0; i < 200; ++i) subject += "\xC3\xA9";  // 400 bytes of UTF-8
    std::string name = message_file_name(value("Ann"), value("Bob"), value(subject), 0x10, 1);
    EXPECT_LE(name.size(), 255u);
    EXPECT_GE(name.size(), 254u);
    EXPECT_EQ(name.substr(0, 8), "Ann_Bob_");
    EXPECT_EQ(name.substr(name.size() - 13), ".00000010.eml");
    std::string kept = name.substr(8, name.size() - 21);
    EXPECT_EQ(kept.size() % 2, 0u) << "a character was cut in two";
}

TEST(message_file_name, DeviceNamesGetALeadingUnderscore) {
    EXPECT_EQ(message_file_name(value("con.x"), value("Bob"), value("Hi"), 0x10, 1),
              "_con.x_Bob_Hi.00000010.eml");
    EXPECT_EQ(message_file_name(value("LPT7.y"), value("B"), value("H"), 0x10, 1),
              "_LPT7.y_B_H.00000010.eml");
    EXPECT_EQ(message_file_name(value("COM0.y"), value("B"), value("H"), 0x10, 1),
              "COM0.y_B_H.00000010.eml");
    EXPECT_EQ(message_file_name(value("console"), value("B"), value("H"), 0x10, 1),
              "console_B_H.00000010.eml");
}

TEST(output_folder, DropsOnlyAFinalDbxInAnyCase) {
    EXPECT_EQ(output_folder("C:\\out\\Inbox.dbx"), "C:\\out\\Inbox");
    EXPECT_EQ(output_folder("/out/Inbox.DBX"), "/out/Inbox");
    EXPECT_EQ(output_folder("/out/mail"), "/out/mail");
    EXPECT_EQ(output_folder("/out/a.eml"), "/out/a.eml");
    EXPECT_EQ(output_folder("dbx"), "dbx");
    // Never a name that leaves the folder, nor one Windows would trim to another.
    EXPECT_EQ(output_folder("/out/...dbx"), "/out/_");
    EXPECT_EQ(output_folder("/out/. .DBX"), "/out/_");
    EXPECT_EQ(output_folder("/out/Inbox. .dbx"), "/out/Inbox");
}

class read_message_test : public engine_test {
  protected:
    message_read read(store_image& image, int list, int chain, int mode = 1) {
        dbx_t* store = dbx_open(write_store(image).c_str());
        EXPECT_NE(store, nullptr);
        message_read message;
        capture_output([&] { message = _read_message(&view, store, list, chain, mode); });
        dbx_close(store);
        return message;
    }
};

TEST_F(read_message_test, OneBlockMessageGivesItsTextDateAndName) {
    store_image image;
    image.put_signature();
    std::string text = mail("Ann", "Bob", "Hi");
    text.resize(300, 'b');
    const uint32_t at[] = {0x2A0};
    image.add_message(text, at);
    image.resize(0x1000);
    auto message = read(image, 0, 0);
    ASSERT_TRUE(message.text);
    EXPECT_EQ(*message.text, text);
    EXPECT_EQ(message.date, 784887151);
    EXPECT_EQ(message.name, "Ann_Bob_Hi.000002A0.eml");
}

TEST_F(read_message_test, ChainsReadInChainOrderWhereverTheirBlocksLie) {
    store_image image;
    image.put_signature();
    std::string text = mail("Ann", "Bob", "Long");
    for (int i = 0; text.size() < 1400; ++i) text += "line " + std::to_string(i) + "\r\n";
    text.resize(1400);
    const uint32_t at[] = {0x1000, 0x1000 + 528, 0x400};  // two side by side, then back
    image.add_message(text, at);
    image.resize(0x2000);
    auto message = read(image, 0, 0);
    ASSERT_TRUE(message.text);
    EXPECT_EQ(*message.text, text);
    EXPECT_EQ(message.name, "Ann_Bob_Long.00001000.eml");
}

// Raw header bytes outside UTF-8 (a six-byte form, a lead byte beyond U+10FFFF) are read
// through the ANSI code page: the saved file's name is valid UTF-8 and the one the run
// reports.
TEST_F(read_message_test, RawBytesOutsideUtf8GiveAValidNameTheRunReports) {
    store_image image;
    image.put_signature();
    const uint32_t at[] = {0x2A0};
    image.add_message(mail("Ann", "Bob", "\xFC\xA3\x80\x80 \xF5\xA8\xBF"), at);
    image.resize(0x800);
    std::string reported;
    chain_observer = [&](const chain_record& record) { reported = record.file; };
    std::string out = dir.file("out");
    auto result = run(write_store(image), 1, out);
    chain_observer = nullptr;
    EXPECT_EQ(result.outcome.errors, 0) << result.err;
    const std::string name = "Ann_Bob_ü£€€ õ¨¿.000002A0.eml";
    EXPECT_EQ(files_in(out + separator + "Inbox"), std::vector<std::string>{name});
    EXPECT_TRUE(reported.ends_with(name)) << reported;
}

TEST_F(read_message_test, FragmentsAreMarkedAndLoseOnlyTrailingNuls) {
    store_image image;
    image.put_signature();
    const uint32_t at[] = {0x400, 0x800};
    image.add_freed_fragment(std::string(1, '\0'), at, 0);  // all NUL apart from the marks
    image.resize(0x1000);
    auto message = read(image, 1, 0);
    ASSERT_TRUE(message.text);
    EXPECT_EQ(message.text->size(), 516u);
    EXPECT_EQ(message.text->substr(0, 4), "----");
    EXPECT_EQ(message.text->substr(512, 4), "----");
}

TEST_F(read_message_test, DataAreaPastTheEndOfTheFileReadsAsZeroBytes) {
    store_image image;
    image.put_signature();
    std::string text = mail("Ann", "Bob", "Cut");
    text.resize(400, 'z');
    const uint32_t at[] = {0x2A0};
    image.add_message(text, at);
    image.resize(0x2A0 + 16 + 100);  // only 100 bytes of the data area are in the file
    auto message = read(image, 0, 0);
    ASSERT_TRUE(message.text);
    EXPECT_EQ(message.text->size(), 400u);
    EXPECT_EQ(message.text->substr(0, 100), text.substr(0, 100));
    EXPECT_EQ(message.text->substr(100), std::string(300, '\0'));
}

}  // namespace
