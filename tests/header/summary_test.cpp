// The message summary: the cells of the message's row as written, and what it decodes.
#include "header/summary.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "header/fields.h"

namespace {

// The summary of `text`: its cells ("" where a field does not occur), its decoded values
// and date, and its raw values.
struct summary {
    hdr_summary values;
    std::optional<std::string>&subject, &from, &to;
    std::optional<int64_t>& date;
    hdr_raw_fields raw;

    explicit summary(const std::string& text)
        : values(hdr_message_summary(text.c_str())),
          subject(values.decoded[hdr_subject]),
          from(values.decoded[hdr_from]),
          to(values.decoded[hdr_to]),
          date(values.date),
          raw(hdr_raw_values(values.row.view())) {}
    std::array<std::string, 4> cells() const {
        std::array<std::string, 4> written;
        for (size_t column = 0; column < written.size(); ++column)
            written[column] = values.row.cells[column].value_or("");
        return written;
    }
};

const std::array<std::string, 4> no_cells = {"", "", "", ""};

TEST(Summary, NothingWithoutFields) {
    for (const std::string text : {"", "\r\nbody only",
                                   "From someone Mon Jan  5 10:00:00 2009\r\n"
                                   "Subject: hidden\r\n\r\n"}) {
        summary s(text);
        for (const auto& cell : s.values.row.cells) EXPECT_FALSE(cell) << text;
        EXPECT_FALSE(s.subject || s.from || s.to) << text;
        EXPECT_FALSE(s.date) << text;
    }
}

TEST(Summary, SubjectOnly) {
    summary s("Subject: Hi\r\n\r\nbody\r\n");
    EXPECT_EQ(s.cells(), (std::array<std::string, 4>{"", "Hi", "", ""}));
    EXPECT_EQ(s.subject, "Hi");
    EXPECT_FALSE(s.from);
    EXPECT_FALSE(s.to);
    EXPECT_FALSE(s.date);
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
    EXPECT_EQ(s.cells(), (std::array<std::string, 4>{
                             "=?utf-8?Q?Ann?= <a.b>",
                             "=?iso-8859-1?Q?caf=E9?= =?utf-8?B?w6k=?=",
                             "\"Bob\" <bob@example.com>,carol@example.com",
                             "Tue, 15 Nov 1994 08:12:31 GMT",
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
        EXPECT_EQ(s.cells()[0], "x") << text;
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
    EXPECT_EQ(s.cells()[1], "second");
    EXPECT_EQ(s.subject, "second");
    EXPECT_EQ(s.raw.subject, "second");
    EXPECT_EQ(s.cells()[3], "Tue, 15 Nov 1994 08:12:31 GMT");
    EXPECT_EQ(s.date, 784887151);
}

TEST(Summary, UnreadableDateFillsOnlyTheCell) {
    summary s("Date: yesterday\r\n\r\n");
    EXPECT_EQ(s.cells()[3], "yesterday");
    EXPECT_FALSE(s.date);
    // A later unreadable Date leaves the message undated: the earlier one does not count.
    summary twice("Date: 1 Jan 2040 00:00:00 GMT\r\nDate: soon\r\n");
    EXPECT_EQ(twice.cells()[3], "soon");
    EXPECT_FALSE(twice.date);
}

TEST(Summary, HeaderEndsAtFirstLineThatIsNoField) {
    summary s("Subject: kept\r\nnot a field\r\nFrom: lost\r\n");
    EXPECT_EQ(s.subject, "kept");
    EXPECT_FALSE(s.from);
    EXPECT_EQ(s.cells()[0], "");
}

TEST(Summary, LineFeedOnlyHeader) {
    // Only CR LF ends a value line: the first field swallows the rest of the text.
    summary s("Subject: one\nFrom: two\n\nbody\n");
    EXPECT_EQ(s.subject, "one\nFrom: two\n\nbody\n");
    EXPECT_FALSE(s.from);
    EXPECT_EQ(s.cells()[1], "one\nFrom: two\n\nbody\n");
}

TEST(Summary, RawValuesAreTheBytesAsWritten) {
    // The raw value is the bytes as written; the decoded one reads them through Windows-1252.
    summary s("Subject: caf\xE9 \x80 \x9D =?utf-8?B?w6k=?=\r\n");
    EXPECT_EQ(s.cells()[1], "caf\xE9 \x80 \x9D =?utf-8?B?w6k=?=");
    EXPECT_EQ(s.raw.subject, "caf\xE9 \x80 \x9D =?utf-8?B?w6k=?=");
    EXPECT_EQ(s.subject, "caf\xC3\xA9 \xE2\x82\xAC \xC2\x9D \xC3\xA9");
}

TEST(Summary, EmptyValuesGiveEmptyStrings) {
    summary s("Subject:\r\nTo: \r\n\r\n");
    EXPECT_EQ(s.subject, "");
    EXPECT_EQ(s.to, "");
    EXPECT_EQ(s.cells(), no_cells);
}

TEST(Summary, RawValuesAreEmptyWhereFieldsAreMissing) {
    summary s("Subject: two\r\n\r\n");
    EXPECT_EQ(s.raw.subject, "two");
    EXPECT_EQ(s.raw.from, "");
    EXPECT_EQ(s.raw.to, "");
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
    EXPECT_FALSE(s.date);
}

TEST(Summary, DecodedNulStaysInTheResult) {
    summary s("Subject: a=?x?Q?=00?=b\r\n");
    EXPECT_EQ(s.subject, std::string("a\0b", 3));
}

// A text cut where the field walk says it has settled gives the list the row, and the
// save run the results, of the whole text.
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
