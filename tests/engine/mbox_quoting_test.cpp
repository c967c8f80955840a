// A message as an mbox file holds it, row by row: which lines get one more '>' and which
// are left alone, the line end a last line gets, and the "From " line that opens it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/mbox_collection.h"
#include "engine/read_message.h"

namespace {

struct quoting_row {
    std::string message;
    std::string held;
};

TEST(MboxQuoting, OnlyLinesThatReadFromAfterTheirQuotesGetOneMore) {
    const std::vector<quoting_row> rows = {
        {"From a\n", ">From a\n\n"},
        {">From a\n", ">>From a\n\n"},
        {">>From a\n", ">>>From a\n\n"},
        {"x\nFrom y\n", "x\n>From y\n\n"},
        {"x\r\nFrom y\r\nz\r\n", "x\r\n>From y\r\nz\r\n\n"},
        {"a\n\nFrom \n", "a\n\n>From \n\n"},
        {"From:a\n", "From:a\n\n"},
        {"From\n", "From\n\n"},
        {"from a\n", "from a\n\n"},
        {"FROM a\n", "FROM a\n\n"},
        {" From a\n", " From a\n\n"},
        {"> From a\n", "> From a\n\n"},
        {"x From a\n", "x From a\n\n"},
        {"a\rFrom b\n", "a\rFrom b\n\n"},  // a CR alone ends no line
        {">\n", ">\n\n"},
        {"x\nFrom y", "x\n>From y\n\n"},  // the last line gets a line end
        {"Fro", "Fro\n\n"},
        {"", "\n"},
        {"\n", "\n\n"},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(mbox_body(rows[i].message), rows[i].held) << "row " << i;
    }
}

TEST(MboxQuoting, FromLineNamesTheSenderAndTheDateInUtc) {
    EXPECT_EQ(mbox_from_line({"ann@example.com", 784887151}),
              "From ann@example.com Tue Nov 15 08:12:31 1994\n");
    EXPECT_EQ(mbox_from_line({"b@c", 1231149600}), "From b@c Mon Jan  5 10:00:00 2009\n");
    EXPECT_EQ(mbox_from_line({std::nullopt, std::nullopt}),
              "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\n");
}

// A deleted fragment's text starts with the marked word the store's free list wrote; its
// "From " line (and its item) reads the header field that follows the word, where one does.
TEST(MboxQuoting, AFragmentsFromLineReadsPastItsFreedWord) {
    struct row {
        std::string text;
        bool fragment;
        std::string line;
    };
    const std::string head = "From: a@b.c\r\nDate: Tue, 15 Nov 1994 08:12:31 +0000\r\n\r\nx\r\n";
    const row rows[] = {
        {"----" + head, true, "From a@b.c Tue Nov 15 08:12:31 1994\n"},
        {"----" + head, false, "From MAILER-DAEMON Tue Nov 15 08:12:31 1994\n"},
        {"----: a@b.c\r\nDate: 15 Nov 1994 08:12:31 +0000\r\n", true,
         "From MAILER-DAEMON Tue Nov 15 08:12:31 1994\n"},  // the word took the name
        {"----tinued from a message.\r\n", true, "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\n"},
        {"-x--" + head, true, "From MAILER-DAEMON Tue Nov 15 08:12:31 1994\n"},  // no mark
    };
    for (const row& r : rows) {
        EXPECT_EQ(mbox_from_line(mbox_sender_of(item_text(r.text, r.fragment))), r.line) << r.text;
    }
}

}  // namespace
