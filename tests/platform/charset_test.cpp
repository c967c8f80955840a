// Text of named charsets: a byte not valid in the charset costs one character, the rest is
// read as declared, the same on every system.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/digest.h"
#include "platform/text.h"

namespace {

using platform::invalid_bytes;

std::string replaced(const char* charset, std::string_view bytes) {
    return platform::charset_to_utf8(charset, bytes, invalid_bytes::replaced).value_or("(unknown)");
}

TEST(Charsets, BadSequencesBecomeOneReplacementEach) {
    struct row {
        const char* charset;
        std::string bytes, text;
    };
    const row rows[] = {
        {"windows-1251", "\xCC\xE8\xF0\x98!", "\u041c\u0438\u0440\uFFFD!"},
        {"iso-8859-1", "caf\xE9\x80\x81", "caf\u00e9\u20ac\u0081"},  // read as Windows-1252
        {"gb2312", "\xC4\xE3\x81 \xFF\xBA\xC3", "\u4f60\uFFFD \uFFFD\u597d"},
        {"big5", "\xA4\xA4\xA4\xE5 \xA4", "\u4e2d\u6587 \uFFFD"},
        {"shift_jis", "\x93\xfa\x96{\xA0", "\u65e5\u672c\uFFFD"},
        {"utf-8", "a\xC3(\xE2\x82\xAC", "a\uFFFD(\u20ac"},
        {"utf-16",
         std::string("\xFF\xFE"
                     "A\0\x00\xD8"
                     "B\0",
                     8),
         "A\uFFFDB"},
        {"utf-16be", std::string("\0A\0", 3), "A\uFFFD"},
        {"utf-7", "Fr+APY-sche +- +2D3eAA-", "Fr\u00f6sche + \U0001F600"},
        {"iso-2022-jp", "\x1B$BF|\x1B(I1\x1B(B\x1B$Zx\x1B$(D\"/\x1B(B",
         "\u65e5\uff71\uFFFD$Zx\uFFFD"},
        {"cp50221", "\x1B$B-!\x1B(B", "\u2460"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.charset);
        EXPECT_EQ(replaced(r.charset, r.bytes), r.text);
    }
    // Refused, bad bytes of a charset the system reads give nothing.
    EXPECT_FALSE(platform::charset_to_utf8("windows-1251", "\x98"));
    EXPECT_FALSE(platform::charset_to_utf8("gbk", "\xC4\xE3\xFF"));
    EXPECT_FALSE(platform::charset_to_utf8("x-unknown", "abc", invalid_bytes::replaced));
}

// Every byte and every lead byte with every byte after it, in each charset read with the
// system's tables: the text is valid UTF-8 and never holds a C1 control or a private-use
// character, which the systems' tables differ on (C1 controls are characters of
// Windows-1252, KOI8 and ISO-8859 alone). The digests printed for each charset are
// what the native and the Windows build are compared by.
TEST(Charsets, EveryPairReadsToPlainCharacters) {
    const char* charsets[] = {"windows-1250", "windows-1251", "windows-1252", "windows-1253",
                              "windows-1254", "windows-1255", "windows-1256", "windows-1257",
                              "windows-1258", "windows-874",  "iso-8859-2",   "iso-8859-5",
                              "iso-8859-7",   "iso-8859-15",  "koi8-r",       "koi8-u",
                              "gbk",          "gb18030",      "big5",         "shift_jis",
                              "euc-jp",       "euc-kr"};
    for (const char* charset : charsets) {
        SCOPED_TRACE(charset);
        std::string all;
        std::string singles;
        for (int byte = 0; byte < 256; ++byte) singles += static_cast<char>(byte);
        all += replaced(charset, singles);
        for (int lead = 0x80; lead < 0x100; ++lead) {
            std::string pairs;
            for (int trail = 0; trail < 256; ++trail) {
                pairs += static_cast<char>(lead);
                pairs += static_cast<char>(trail);
                pairs += ' ';
            }
            all += replaced(charset, pairs);
        }
        ASSERT_TRUE(platform::valid_utf8(all));
        std::u16string text = platform::utf8_text_to_utf16(all);
        size_t foreign = 0;
        for (char16_t c : text) foreign += (c >= 0x80 && c < 0xA0) || (c >= 0xE000 && c < 0xF900);
        bool c1_is_text = std::string_view(charset).rfind("iso-", 0) == 0 ||
                          std::string_view(charset).rfind("koi8", 0) == 0 ||
                          std::string_view(charset) == "windows-1252";
        if (!c1_is_text) {
            EXPECT_EQ(foreign, 0u);
        }
        std::printf("%s: %s\n", charset, platform::digest_of(all).sha256.substr(0, 16).c_str());
    }
}

}  // namespace
