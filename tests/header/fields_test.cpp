// Field names and values, folding white space, comments, atoms and digit runs.
#include "header/fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What a scanner left behind: its result, what it produced and where the cursor stands.
struct scan {
    int result;
    std::string text;
    size_t cursor;
    bool operator==(const scan&) const = default;
};

std::ostream& operator<<(std::ostream& out, const scan& s) {
    return out << "{result " << s.result << ", \"" << s.text << "\", cursor " << s.cursor << "}";
}

struct row {
    std::string input;
    scan expected;
};

using scanner = scan (*)(const std::string& input);

void check_rows(const std::vector<row>& rows, scanner run) {
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(run(rows[i].input), rows[i].expected) << "row " << i << ": " << rows[i].input;
    }
}

scan field_name(const std::string& input) {
    const char* cursor = input.data();
    std::string name = "untouched";
    int result = hdr_field_name_parse(&cursor, input.data() + input.size(), &name);
    return {result, name, static_cast<size_t>(cursor - input.data())};
}

scan field_value(const std::string& input) {
    const char* cursor = input.data();
    std::string value = "stale";
    int result = hdr_field_value_parse(&cursor, input.data() + input.size(), &value);
    return {result, value, static_cast<size_t>(cursor - input.data())};
}

scan fws(const std::string& input) {
    const char* cursor = input.data();
    hdr_fws_parse(&cursor, input.data() + input.size());
    return {0, "", static_cast<size_t>(cursor - input.data())};
}

scan comment(const std::string& input) {
    const char* cursor = input.data();
    int result = hdr_comment_parse(&cursor, input.data() + input.size());
    return {result, "", static_cast<size_t>(cursor - input.data())};
}

scan cfws(const std::string& input) {
    const char* cursor = input.data();
    hdr_cfws_skip(&cursor, input.data() + input.size());
    return {0, "", static_cast<size_t>(cursor - input.data())};
}

scan atom(const std::string& input) {
    const char* cursor = input.data();
    std::string text;
    int result = hdr_atom_parse(&cursor, input.data() + input.size(), &text);
    return {result, text, static_cast<size_t>(cursor - input.data())};
}

TEST(FieldName, NameAndColon) {
    check_rows(
        {
            {"Subject:   Hello\r\n", {0, "Subject", 8}},
            {"Subject : x", {0, "Subject", 9}},
            {"Subject(c):x", {0, "Subject(c)", 11}},  // parentheses are name bytes
            {"Subject (c):x", {0, "Subject", 12}},
            {"X-Test  (note) : v", {0, "X-Test", 16}},
            {"subJECT:", {0, "subJECT", 8}},
            {"A\r\n :b", {0, "A", 5}},  // a fold between name and colon
            {"\r\nbody", {1, "untouched", 0}},
            {"", {1, "untouched", 0}},
            {" Subject: x", {1, "untouched", 0}},
            {"\xC3\xA9t\xC3\xA9: x", {1, "untouched", 0}},
            {"From someone Mon Jan  5 10:00:00 2009\r\n", {1, "untouched", 0}},
            {"Subject\r\n: x", {1, "untouched", 0}},  // a line break that is not a fold
            {"Subject (open : x", {1, "untouched", 0}},
            {"Sub\x80ject: x", {1, "untouched", 0}},
        },
        field_name);
}

TEST(FieldValue, UnfoldedToTheNextLine) {
    check_rows(
        {
            {"   Hello\r\nTo: x", {0, "Hello", 10}},
            {" Hello\r\n\tWorld\r\nX: y", {0, "HelloWorld", 16}},
            {"\r\nTo: x", {0, "", 2}},
            {"", {0, "", 0}},
            {" a \r\n", {0, "a ", 5}},  // white space at a line's end stays
            {" a\rb\nc\r\n", {0, "a\rb\nc", 8}},
            {" line1\nTo: x\nline3", {0, "line1\nTo: x\nline3", 18}},
            {" a\r\n \r\n b\r\n\r\nbody", {0, "ab", 11}},
            {" a\r\n ", {0, "a", 5}},
            {" a\r", {0, "a\r", 3}},
        },
        field_value);
}

TEST(FoldingWhiteSpace, FoldsButNotLineEnds) {
    check_rows(
        {
            {" \t x", {0, "", 3}},
            {" \r\n x", {0, "", 4}},
            {"\n\tx", {0, "", 2}},
            {"  \r\nx", {0, "", 2}},
            {"  \r\n", {0, "", 2}},
            {"\r\n", {0, "", 0}},
            {"\r x", {0, "", 0}},
            {"x", {0, "", 0}},
        },
        fws);
}

TEST(Comment, OneCompleteComment) {
    check_rows(
        {
            {"(a (b) \\) c)x", {0, "", 12}},
            {"  (note) rest", {0, "", 8}},
            {"  (open", {1, "", 0}},
            {"  rest", {1, "", 2}},
            {"(a\\", {1, "", 0}},        // a quoted pair cut off by the end
            {"((a)", {1, "", 0}},        // the nested one closes, the outer does not
            {"(\r\n\xFF)", {0, "", 5}},  // line breaks and high bytes are comment text
            {" \r\n (x)", {0, "", 7}},
        },
        comment);
    check_rows(
        {
            {" (a) (b)\r\n\t(c) x", {0, "", 15}},
            {" (a) (open", {0, "", 4}},
            {"x", {0, "", 0}},
        },
        cfws);
}

TEST(Comment, DeepNestingDoesNotExhaustTheStack) {
    std::string deep(1 << 20, '(');
    deep += std::string(1 << 20, ')');
    EXPECT_EQ(comment(deep), (scan{0, "", deep.size()}));
    deep.pop_back();
    EXPECT_EQ(comment(deep), (scan{1, "", 0}));
}

TEST(Atom, AfterCommentsAndWhiteSpace) {
    check_rows(
        {
            {"  +0500 rest", {0, "+0500", 7}},
            {" (c) GMT", {0, "GMT", 8}},
            {"a.b,c", {0, "a.b", 3}},
            {".x.", {0, ".x.", 3}},
            {"  ,x", {1, "", 2}},
            {"", {1, "", 0}},
            {" \xC3\xA9", {1, "", 1}},
            {"ab\x7F", {0, "ab", 2}},
            {"a:b", {0, "a", 1}},
        },
        atom);
}

TEST(Number, DigitRuns) {
    struct number_row {
        std::string input;
        unsigned min, max;
        int result;
        uint32_t value;
        size_t cursor;
    };
    const std::vector<number_row> rows = {
        {"123", 1, 2, 0, 12, 2}, {"x", 1, 2, 1, 0, 0},        {"7x", 1, 2, 0, 7, 1},
        {"7x", 2, 4, 1, 7, 0},   {"20091", 2, 4, 0, 2009, 4}, {" 12", 1, 2, 1, 0, 0},
        {"", 0, 2, 0, 0, 0},     {"0530", 4, 4, 0, 530, 4},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        const char* cursor = r.input.data();
        uint32_t value = 99;
        int result =
            hdr_number_parse(&value, &cursor, r.input.data() + r.input.size(), r.min, r.max);
        EXPECT_EQ(result, r.result) << "row " << i;
        EXPECT_EQ(value, r.value) << "row " << i;
        EXPECT_EQ(static_cast<size_t>(cursor - r.input.data()), r.cursor) << "row " << i;
    }
}

TEST(Scanners, NeverReadPastTheEndPointer) {
    // The end pointer stops every scanner, even where the bytes after it would continue.
    const std::string text = "Subject: a\r\n b(c)123";
    const char* base = text.data();
    const char* cursor = base;
    std::string out;
    EXPECT_EQ(hdr_field_name_parse(&cursor, base + 7, &out), 1);
    cursor = base + 8;
    hdr_field_value_parse(&cursor, base + 13, &out);
    EXPECT_EQ(out, "a");
    cursor = base + 14;
    EXPECT_EQ(hdr_comment_parse(&cursor, base + 16), 1);
    cursor = base + 17;
    uint32_t value = 0;
    EXPECT_EQ(hdr_number_parse(&value, &cursor, base + 19, 1, 4), 0);
    EXPECT_EQ(value, 12u);
}

}  // namespace
