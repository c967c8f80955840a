// Byte text through the ANSI code page (Windows-1252 here and under wine), and UTF-8.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Windows-1252 from 0x80 to 0x9F, as published for the code page; the five bytes it
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) come out as the C1 control of that value.
const std::vector<std::pair<unsigned char, char16_t>> windows_1252_high = {
    {0x80, 0x20AC}, {0x81, 0x0081}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E}, {0x85, 0x2026},
    {0x86, 0x2020}, {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030}, {0x8A, 0x0160}, {0x8B, 0x2039},
    {0x8C, 0x0152}, {0x8D, 0x008D}, {0x8E, 0x017D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x91, 0x2018},
    {0x92, 0x2019}, {0x93, 0x201C}, {0x94, 0x201D}, {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014},
    {0x98, 0x02DC}, {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A}, {0x9C, 0x0153}, {0x9D, 0x009D},
    {0x9E, 0x017E}, {0x9F, 0x0178},
};

TEST(AnsiToUtf16, Windows1252HighControlRange) {
    for (const auto& [byte, expected] : windows_1252_high) {
        std::u16string got = platform::ansi_to_utf16(std::string(1, static_cast<char>(byte)));
        ASSERT_EQ(got.size(), 1u) << "byte " << int(byte);
        EXPECT_EQ(int(got[0]), int(expected)) << "byte " << int(byte);
    }
}

TEST(AnsiToUtf16, AsciiAndLatin1AreTheirOwnCodePoints) {
    for (int byte = 1; byte < 256; ++byte) {
        if (byte >= 0x80 && byte < 0xA0) continue;
        std::u16string got = platform::ansi_to_utf16(std::string(1, static_cast<char>(byte)));
        ASSERT_EQ(got.size(), 1u) << "byte " << byte;
        EXPECT_EQ(int(got[0]), byte) << "byte " << byte;
    }
}

TEST(AnsiToUtf16, WholeTextUpToNul) {
    EXPECT_EQ(platform::ansi_to_utf16("caf\xE9 \x80 \x93x\x94"), u"caf\u00E9 \u20AC \u201Cx\u201D");
    EXPECT_EQ(platform::ansi_to_utf16(std::string("ab\0cd", 5)), u"ab");
    EXPECT_EQ(platform::ansi_to_utf16(""), u"");
    EXPECT_EQ(platform::ansi_to_utf16(std::string(100000, 'x')).size(), 100000u);
}

TEST(Utf8, DecodesValidSequences) {
    EXPECT_EQ(platform::utf8_to_utf16("abc"), u"abc");
    EXPECT_EQ(platform::utf8_to_utf16("caf\xC3\xA9"), u"caf\u00E9");
    EXPECT_EQ(platform::utf8_to_utf16("\xE2\x82\xAC"), u"\u20AC");
    EXPECT_EQ(platform::utf8_to_utf16("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(platform::utf8_to_utf16(std::string("a\0b", 3)), u"a");
}

TEST(Utf8, InvalidBytesBecomeReplacementCharacters) {
    const std::vector<std::pair<std::string, std::u16string>> rows = {
        {"\xE9", u"\uFFFD"},                                // a Latin-1 byte
        {"a\xC3", u"a\uFFFD"},                              // cut short
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\x80x", u"\uFFFDx"},
        {"\xFC\xA3\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},            // a six-byte form cut short
        {"\xF5\xA8\xBF", u"\uFFFD\uFFFD\uFFFD"},                      // a lead byte beyond U+10FFFF
        {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // a five-byte form
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(platform::utf8_to_utf16(rows[i].first), rows[i].second) << "row " << i;
    }
}

// The well-formed sequences of the Unicode standard (its table of byte ranges): every lead
// byte with every second byte, the rest continuation bytes.
TEST(Utf8, SequenceLengthAcceptsOnlyWellFormedUtf8) {
    auto expected = [](int lead, int second) -> size_t {
        auto in = [](int byte, int low, int high) { return byte >= low && byte <= high; };
        if (lead < 0x80) return 1;
        if (in(lead, 0xC2, 0xDF)) return in(second, 0x80, 0xBF) ? 2 : 0;
        if (lead == 0xE0) return in(second, 0xA0, 0xBF) ? 3 : 0;
        if (in(lead, 0xE1, 0xEC) || in(lead, 0xEE, 0xEF)) return in(second, 0x80, 0xBF) ? 3 : 0;
        if (lead == 0xED) return in(second, 0x80, 0x9F) ? 3 : 0;
        if (lead == 0xF0) return in(second, 0x90, 0xBF) ? 4 : 0;
        if (in(lead, 0xF1, 0xF3)) return in(second, 0x80, 0xBF) ? 4 : 0;
        if (lead == 0xF4) return in(second, 0x80, 0x8F) ? 4 : 0;
        return 0;
    };
    for (int lead = 0; lead < 256; ++lead) {
        for (int second = 0; second < 256; ++second) {
            std::string text = {static_cast<char>(lead), static_cast<char>(second), '\x80', '\x80'};
            ASSERT_EQ(platform::utf8_sequence_length(text, 0), expected(lead, second))
                << std::hex << "bytes " << lead << " " << second;
            size_t length = expected(lead, second);
            if (length < 3) continue;
            text[length - 1] = 'x';  // the last continuation byte missing
            ASSERT_EQ(platform::utf8_sequence_length(text, 0), 0u)
                << std::hex << "bytes " << lead << " " << second;
            ASSERT_EQ(platform::utf8_sequence_length(text.substr(0, length - 1), 0),
                      0u);  // cut short
        }
    }
}

TEST(Utf8, RoundTrips) {
    const std::u16string samples[] = {
        u"",
        u"plain",
        u"caf\u00E9 \u20AC \u4E2D\u6587",
        u"\U0001F600 \U00010000 \U0010FFFF",
    };
    for (const auto& text : samples) {
        EXPECT_EQ(platform::utf8_to_utf16(platform::utf16_to_utf8(text)), text);
    }
    EXPECT_EQ(platform::utf16_to_utf8(u"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(platform::utf16_to_utf8(lone),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

}  // namespace

TEST(PathText, PathsComeBackFromUtf16ByteForByte) {
    for (std::string path : {std::string("plain/name.eml"), std::string("caf\xC3\xA9/\xE9\x82\xAE"),
                             std::string("caf\xE9 \xFF\x80.msg"), std::string()}) {
        EXPECT_EQ(platform::path_from_utf16(platform::path_to_utf16(path)),
#ifdef _WIN32
                  // Windows keeps the text: a byte outside UTF-8 is a character of code page 1252.
                  platform::utf16_to_utf8(platform::path_to_utf16(path))
#else
                  path
#endif
        );
    }
    EXPECT_EQ(platform::path_to_utf16("caf\xC3\xA9"), u"caf\u00E9");
#ifdef _WIN32
    EXPECT_EQ(platform::path_to_utf16("caf\xE9"), u"caf\u00E9");
#endif
}
