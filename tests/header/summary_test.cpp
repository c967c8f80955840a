// The message summary: the row it adds, the cells it fills, and what it hands back.
#include "header/summary.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "header/fields.h"
#include "support/recording_view.h"

namespace {

// One summary of `text` into a recording view.
struct summary {
    recording_view view;
    std::optional<std::string> subject, from, to;
    int64_t date = -7;
    hdr_raw_fields raw;

    explicit summary(const std::string& text, recording_view seeded = {})
        : view(std::move(seeded)) {
        hdr_message_summary(text.c_str(), &view, &subject, &from, &to, &date, &raw);
    }
    const std::array<std::u16string, 4>& cells() const { return view.rows.back().cells; }
};

const std::array<std::u16string, 4> no_cells = {u"", u"", u"", u""};

TEST(Summary, RowAddedEvenWithoutFields) {
    for (const std::string text : {"", "\r\nbody only",
                                   "From someone Mon Jan  5 10:00:00 2009\r\n"
                                   "Subject: hidden\r\n\r\n"}) {
        summary s(text);
        ASSERT_EQ(s.view.rows.size(), 1u) << text;
        EXPECT_EQ(s.view.rows[0].image, 1);
        EXPECT_EQ(s.cells(), no_cells) << text;
        EXPECT_FALSE(s.subject || s.from || s.to) << text;
        EXPECT_EQ(s.date, -7) << text;
    }
}

TEST(Summary, RowGoesAfterExistingRows) {
    recording_view seeded;
    seeded.insert_item(0);
    seeded.insert_item(1);
    seeded.set_item_text(1, 1, u"earlier");
    summary s("Subject: new\r\n\r\n", seeded);
    ASSERT_EQ(s.view.rows.size(), 3u);
    EXPECT_EQ(s.view.rows[1].cells[1], u"earlier");
    EXPECT_EQ(s.view.rows[2].cells[1], u"new");
}

TEST(Summary, SubjectOnly) {
    summary s("Subject: Hi\r\n\r\nbody\r\n");
    EXPECT_EQ(s.cells(), (std::array<std::u16string, 4>{u"", u"Hi", u"", u""}));
    EXPECT_EQ(s.subject, "Hi");
    EXPECT_FALSE(s.from);
    EXPECT_FALSE(s.to);
    EXPECT_EQ(s.date, -7);
}

TEST(Summary, AllFourFields) {
    summary s(
        "Received: from x\r\n"
        "From: =?utf-8?Q?Ann?= <a.b>\r\n"
        "To: \"Bob\" <bob@example.com>,\r\n carol@example.com\r\n"
        "Subject: =?iso-8859-1?Q?caf=E9?= =?utf-8?B?w6k=?=\r\n"
        "Date: Tue, 15 Nov 1994 08:12:31 GMT\r\n"
        "\r\n"
        "Subject: not a header field\r\n");
    EXPECT_EQ(s.cells(), (std::array<std::u16string, 4>{
                             u"=?utf-8?Q?Ann?= <a.b>",
                             u"=?iso-8859-1?Q?caf=E9?= =?utf-8?B?w6k=?=",
                             u"\"Bob\" <bob@example.com>,carol@example.com",
                             u"Tue, 15 Nov 1994 08:12:31 GMT",
                         }));
    EXPECT_EQ(s.from, "Ann <a.b>");
    EXPECT_EQ(s.to, "\"Bob\" <bob@example.com>,carol@example.com");
    EXPECT_EQ(s.subject, "caf\xC3\xA9\xC3\xA9");  // each word through its own charset
    EXPECT_EQ(s.date, 784887151);
    EXPECT_EQ(s.raw.from, "=?utf-8?Q?Ann?= <a.b>");
    EXPECT_EQ(s.raw.to, "\"Bob\" <bob@example.com>,carol@example.com");
    EXPECT_EQ(s.raw.subject, "=?iso-8859-1?Q?caf=E9?= =?utf-8?B?w6k=?=");
}

TEST(Summary, NamesIgnoreCase) {
    for (const std::string text :
         {"FROM: x\r\n", "From : x\r\n", "from:x\r\n", "fRoM (c):  x\r\n"}) {
        summary s(text);
        EXPECT_EQ(s.cells()[0], u"x") << text;
        EXPECT_EQ(s.from, "x") << text;
    }
    summary other("Fromage: x\r\nX-To: y\r\n");
    EXPECT_EQ(other.cells(), no_cells);
    EXPECT_FALSE(other.from || other.to);
}

TEST(Summary, LastOccurrenceWins) {
    summary s(
        "Subject: first\r\nDate: 1 Jan 2040 00:00:00 GMT\r\nSubject: second\r\n"
        "Date: Tue, 15 Nov 1994 08:12:31 GMT\r\n\r\n");
    EXPECT_EQ(s.cells()[1], u"second");
    EXPECT_EQ(s.subject, "second");
    EXPECT_EQ(s.raw.subject, "second");
    EXPECT_EQ(s.cells()[3], u"Tue, 15 Nov 1994 08:12:31 GMT");
    EXPECT_EQ(s.date, 784887151);
}

TEST(Summary, UnreadableDateFillsOnlyTheCell) {
    summary s("Date: yesterday\r\n\r\n");
    EXPECT_EQ(s.cells()[3], u"yesterday");
    EXPECT_EQ(s.date, -7);
    // A later unreadable Date leaves the message undated: the earlier one does not count.
    summary twice("Date: 1 Jan 2040 00:00:00 GMT\r\nDate: soon\r\n");
    EXPECT_EQ(twice.cells()[3], u"soon");
    EXPECT_EQ(twice.date, -7);
}

TEST(Summary, HeaderEndsAtFirstLineThatIsNoField) {
    summary s("Subject: kept\r\nnot a field\r\nFrom: lost\r\n");
    EXPECT_EQ(s.subject, "kept");
    EXPECT_FALSE(s.from);
    EXPECT_EQ(s.cells()[0], u"");
}

TEST(Summary, LineFeedOnlyHeader) {
    // Only CR LF ends a value line: the first field swallows the rest of the text.
    summary s("Subject: one\nFrom: two\n\nbody\n");
    EXPECT_EQ(s.subject, "one\nFrom: two\n\nbody\n");
    EXPECT_FALSE(s.from);
    EXPECT_EQ(s.cells()[1], u"one\nFrom: two\n\nbody\n");
}

TEST(Summary, CellsThroughTheAnsiCodePage) {
    // The cell shows the raw bytes through Windows-1252; so does the result, in UTF-8.
    summary s("Subject: caf\xE9 \x80 \x9D =?utf-8?B?w6k=?=\r\n");
    EXPECT_EQ(s.cells()[1], u"caf\u00E9 \u20AC \u009D =?utf-8?B?w6k=?=");
    EXPECT_EQ(s.subject, "caf\xC3\xA9 \xE2\x82\xAC \xC2\x9D \xC3\xA9");
}

TEST(Summary, EmptyValuesGiveEmptyStrings) {
    summary s("Subject:\r\nTo: \r\n\r\n");
    EXPECT_EQ(s.subject, "");
    EXPECT_EQ(s.to, "");
    EXPECT_EQ(s.cells(), no_cells);
}

TEST(Summary, RawValuesNeverCarryOverToTheNextMessage) {
    hdr_raw_fields raw;
    hdr_message_summary("Subject: one\r\nFrom: a@x\r\nTo: b@x\r\n\r\n", nullptr, nullptr, nullptr,
                        nullptr, nullptr, &raw);
    EXPECT_EQ(raw.to, "b@x");
    hdr_message_summary("Subject: two\r\n\r\n", nullptr, nullptr, nullptr, nullptr, nullptr, &raw);
    EXPECT_EQ(raw.subject, "two");
    EXPECT_EQ(raw.from, "");
    EXPECT_EQ(raw.to, "");
}

TEST(Summary, ResultsUntouchedWhenFieldsAreMissing) {
    recording_view view;
    std::optional<std::string> subject = "caller's", from, to = "caller's";
    int64_t date = 5;
    hdr_message_summary("From: x\r\n", &view, &subject, &from, &to, &date);
    EXPECT_EQ(subject, "caller's");
    EXPECT_EQ(to, "caller's");
    EXPECT_EQ(from, "x");
    EXPECT_EQ(date, 5);
}

TEST(Summary, LargeMessage) {
    // Messages of many megabytes: a long folded Subject and a Date full of open comments.
    std::string subject;
    for (int i = 0; i < 200000; ++i) subject += "=?utf-8?Q?word?=\r\n ";
    std::string text = "Subject: " + subject + "end\r\nDate: " + std::string(1 << 20, '(') +
                       "\r\nTo: t\r\n\r\n" + std::string(16 << 20, 'b');
    summary s(text);
    ASSERT_TRUE(s.subject);
    EXPECT_EQ(s.subject->size(), 4u * 200000 + 3);
    EXPECT_EQ(s.to, "t");
    EXPECT_EQ(s.date, -7);
}

TEST(Summary, DecodedNulStaysInTheResult) {
    summary s("Subject: a=?x?Q?=00?=b\r\n");
    EXPECT_EQ(s.subject, std::string("a\0b", 3));
}

// A text cut where the field walk says it has settled gives the list the row, and the
// save run the results, of the whole text; and the list's own row is the save run's row.
TEST(Summary, WhatASettledBeginningGivesIsWhatTheWholeTextGives) {
    const std::string pieces[] = {"Subject",
                                  "From",
                                  "to",
                                  "DATE",
                                  "X-Mailer",
                                  "From ",
                                  ":",
                                  ": ",
                                  " ",
                                  "\t",
                                  "\r\n",
                                  "\r\n",
                                  "\r\n",
                                  "\n",
                                  "\r",
                                  "(",
                                  ")",
                                  "\\",
                                  "a b",
                                  "=?x?Q?a?=",
                                  "1 Jan 2001 10:00:00 GMT",
                                  "To (a b) : c",
                                  "From \r\n : d",
                                  " (",
                                  std::string(1, '\0')};
    std::mt19937 random(2003);
    int settled_early = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        for (int n = 1 + int(random() % 40); n > 0; --n)
            text += pieces[random() % std::size(pieces)];
        summary whole(text);
        recording_view listed;
        hdr_show_row(&listed, hdr_row_of(text.c_str()).view());
        ASSERT_EQ(listed.rows.back().cells, whole.cells()) << text;
        size_t resume = 0;
        for (size_t cut = 0; cut <= text.size(); ++cut) {
            if (!hdr_fields_settled(text.data(), text.data() + cut, &resume)) continue;
            settled_early += cut < text.size();
            summary part(text.substr(0, cut));
            EXPECT_EQ(part.cells(), whole.cells()) << text << " cut at " << cut;
            EXPECT_EQ(std::tie(part.subject, part.from, part.to, part.date),
                      std::tie(whole.subject, whole.from, whole.to, whole.date))
                << text << " cut at " << cut;
            break;
        }
    }
    EXPECT_GT(settled_early, 500);
}

}  // namespace
