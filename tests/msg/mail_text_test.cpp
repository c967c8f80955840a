// What the built-in store reads from a message's text: address lists, dates, encoded words.

#include "msg/mail_text.h"

#include <gtest/gtest.h>

namespace {

std::u16string describe(const std::vector<msg::mailbox>& boxes) {
    std::u16string out;
    for (auto& box : boxes) out += u"[" + box.name + u"|" + box.address + u"]";
    return out;
}

}  // namespace

TEST(MailText, AddressLists) {
    const struct {
        std::u16string value, expected;
    } rows[] = {
        {u"bob@example.com", u"[|bob@example.com]"},
        {u"Bob <bob@example.com>", u"[Bob|bob@example.com]"},
        {u"\"Smith, Bob\" <bob@x.com>, ann@y.org", u"[Smith, Bob|bob@x.com][|ann@y.org]"},
        {u"ann@y.org (Ann Y), <c@z>", u"[Ann Y|ann@y.org][|c@z]"},
        {u"undisclosed-recipients:;", u""},
        {u"Team: a@x, \"B\" <b@x>;, c@x", u"[|a@x][B|b@x][|c@x]"},
        {u"=?iso-8859-1?Q?J=F6rg?= <j@x>", u"[J\u00f6rg|j@x]"},
        {u"=?utf-8?B?w4RydGU=?= =?utf-8?B?IMOcYg==?= <u@x>", u"[\u00c4rte \u00dcb|u@x]"},
        {u"\"=?windows-1252?Q?=80uro?=\" <e@x>", u"[\u20acuro|e@x]"},
        {u"=?koi8-r?B?8NLJ18XU?= <r@x>", u"[=?koi8-r?B?8NLJ18XU?=|r@x]"},
        {u"Ann\r\n Lee\r\n\t<ann@x>", u"[Ann Lee|ann@x]"},
        {u"<@relay.net:route@x>", u"[|route@x]"},
        {u"\"Quote \\\"Q\\\" Me\" <q@x>", u"[Quote \"Q\" Me|q@x]"},
        {u"Just A Name", u"[Just A Name|]"},
        {u" , ,", u""},
        {u"Ann (the (nested) boss) <a@x>", u"[Ann|a@x]"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(describe(msg::parse_address_list(rows[i].value)), rows[i].expected)
            << "row " << i;
    }
}

TEST(MailText, Dates) {
    const struct {
        std::u16string value;
        std::optional<int64_t> expected;
    } rows[] = {
        {u"Tue, 1 Jul 2003 10:52:37 +0200", 1057049557},
        {u"1 Jul 2003 08:52:37 GMT", 1057049557},
        {u"Tue,  1 Jul 03 03:52:37 EST", 1057049557},
        {u"Tue, 01 Jul 2003 04:52 -0400 (EDT)", 1057049520},
        {u"Thu, 1 Jan 1970 00:00:00 +0000", 0},
        {u"Sat, 29 Feb 2020 23:59:60 +0000", 1583020800},
        {u"Mon, 3 Jan 1999 10:00:00 +0100", 915354000},
        {u"1 Foo 2003 10:00:00 +0000", std::nullopt},
        {u"1 Jul 2003 25:00:00 +0000", std::nullopt},
        {u"yesterday", std::nullopt},
        {u"", std::nullopt},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(msg::parse_date(rows[i].value), rows[i].expected) << "row " << i;
    }
}

TEST(MailText, HeaderBlockAndFields) {
    std::u16string text = u"Subject: one\r\n two\r\nto:  a@x \r\nX: =\r\n\r\nTo: body@x\r\n";
    auto block = msg::header_block(text);
    EXPECT_EQ(block, u"Subject: one\r\n two\r\nto:  a@x \r\nX: =\r\n");
    EXPECT_EQ(msg::header_field(block, u"subject"), u"one two");
    EXPECT_EQ(msg::header_field(block, u"To"), u"a@x");
    EXPECT_EQ(msg::header_field(block, u"Cc"), std::nullopt);
    EXPECT_EQ(msg::header_block(u"A: b\nC: d\n\nbody"), u"A: b\nC: d\n");
    EXPECT_EQ(msg::header_block(u"A: b\r\nno end"), u"A: b\r\nno end");
    EXPECT_EQ(msg::header_block(u"\r\nbody"), u"");
    EXPECT_EQ(msg::decode_words(u"a =?utf-8?q?x?= b =?bogus?q?y?= =?utf-8?q?"
                                u"?="),
              u"a x b =?bogus?q?y?= ");
}
