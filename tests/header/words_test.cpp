// Encoded words: the scan over a value, its octets and its text, and the B and Q decoders
// on their own.
#include "header/words.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "header/decode.h"

namespace {

// One value through the scan: the octets joined as they are, and the text in UTF-8.
struct row {
    std::string input;
    std::string octets;
    std::string text;
};

std::string decode(const std::string& input) {
    std::string output = "stale";
    EXPECT_EQ(hdr_decode_words(input.c_str(), &output), 0) << input;
    return output;
}

TEST(EncodedWords, OctetsAndText) {
    const std::string nul(1, '\0');
    const std::vector<row> rows = {
        // Plain text comes back as it stood (raw bytes outside UTF-8 read as Windows-1252).
        {"", "", ""},
        {"Hello, World", "Hello, World", "Hello, World"},
        {"caf\xE9 \t <a@b> = ? ?= =", "caf\xE9 \t <a@b> = ? ?= =", "café \t <a@b> = ? ?= ="},
        {"Gr\xC3\xBC\xDF", "Gr\xC3\xBC\xDF", "Grüß"},
        {"\xFC\xA3\x80\x80 \xF5\xA8\xBF", "\xFC\xA3\x80\x80 \xF5\xA8\xBF", "ü£€€ õ¨¿"},
        // Words decoded; the charset only matters to the text.
        {"=?utf-8?B?w6k=?=", "\xC3\xA9", "é"},
        {"=?iso-8859-1?Q?caf=E9?=", "caf\xE9", "café"},
        {"=?koi8-r?q?caf=E9?=", "caf\xE9", "cafИ"},
        {"=??Q?x?=", "x", "x"},
        {"=?utf-8?Base64?QUJD?=", "ABC", "ABC"},  // only the first encoding byte counts
        {"=?utf-8?quoted?a_b?=", "a b", "a b"},
        {"=?utf-8?b?QUJD?=", "ABC", "ABC"},
        {"=?utf-8?b?QU JD?=", "ABC", "ABC"},
        {"=?utf-8?B?QQ?=", "", ""},
        {"=?a?Q?=00?=", nul, nul},
        {"x=?a?Q?y?=z", "xyz", "xyz"},  // no white space needed around a word
        // A word of another encoding is removed.
        {"=?utf-8?X?abc?=", "", ""},
        {"=?utf-8??abc?=", "", ""},
        {"a=?utf-8?X?abc?=b", "ab", "ab"},
        {"=?a??x?=", "", ""},
        // Blanks after a word: dropped before a word or the end, kept before other text.
        {"=?a?Q?x?= =?a?Q?y?=", "xy", "xy"},
        {"=?a?Q?x?= \t\t =?a?Q?y?=", "xy", "xy"},
        {"=?a?Q?x?= y", "x y", "x y"},
        {"a =?a?Q?x?=", "a x", "a x"},
        {"=?utf-8?Q?a?=b", "ab", "ab"},
        {"=?utf-8?Q?a?=  b", "a  b", "a  b"},
        {"=?utf-8?Q?a?= \t b", "a \t b", "a \t b"},
        {"=?utf-8?Q?a?=  ", "a", "a"},
        {"=?a?Q?x?=\r\n =?a?Q?y?=", "x\r\n y", "x\r\n y"},  // only SP and HTAB are held back
        {"=?utf-8?Q?a?=  =?utf-8?Q?b?= c =?utf-8?Q?d?=", "ab c d", "ab c d"},
        // A malformed word ends decoding; the blanks before it after a word are dropped.
        {"Re: =?utf-8?Q?a?= and =?bad", "Re: a and =?bad", "Re: a and =?bad"},
        {"=?a?Q?x?= =?bad", "x=?bad", "x=?bad"},
        {"=?utf-8?Q?a?b", "=?utf-8?Q?a?b", "=?utf-8?Q?a?b"},
        {"=?utf-8?Q?a?b =?a?Q?x?=", "=?utf-8?Q?a?b =?a?Q?x?=", "=?utf-8?Q?a?b =?a?Q?x?="},
        {"=?bad =?utf-8?Q?x?= =?utf-8?X?y?=", "=?bad =?utf-8?Q?x?= =?utf-8?X?y?=",
         "=?bad =?utf-8?Q?x?= =?utf-8?X?y?="},
        {"pre =?a?Q", "pre =?a?Q", "pre =?a?Q"},
        {"=?", "=?", "=?"},
        {"=?a?Q?x?", "=?a?Q?x?", "=?a?Q?x?"},
        {"=?utf-8?Q?=C3=A9?= =?bad \xE9", "\xC3\xA9=?bad \xE9", "é=?bad é"},
        // Neighbouring words of one charset are converted together, across a removed word
        // too; words of two charsets are not.
        {"=?utf-8?Q?caf=C3?= =?UTF-8?Q?=A9?=", "caf\xC3\xA9", "café"},
        {"=?utf-8?Q?caf=C3?= =?utf-8?X?y?= =?utf-8?Q?=A9?=", "caf\xC3\xA9", "café"},
        {"=?utf-8?Q?=C3?= =?iso-8859-1?Q?=A9?=", "\xC3\xA9", "Ã©"},
        {"=?utf-8?Q?=C3=A9?= \xE9", "\xC3\xA9 \xE9", "é é"},
        // Octets not valid in their charset are read as Windows-1252.
        {"=?utf-8?Q?=ED=A0=80_=F4=90=80=80?=", "\xED\xA0\x80 \xF4\x90\x80\x80",
         "í\u00A0€ ô\u0090€€"},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(decode(rows[i].input), rows[i].octets) << "row " << i << ": " << rows[i].input;
        EXPECT_EQ(hdr_decode_text(rows[i].input), rows[i].text)
            << "row " << i << ": " << rows[i].input;
    }
}

TEST(DecodeWords, Arguments) {
    std::string output = "kept";
    EXPECT_EQ(hdr_decode_words(nullptr, &output), 22);
    EXPECT_EQ(output, "kept");
    EXPECT_EQ(hdr_decode_words("=?a?Q?x?=", nullptr), 0);
}

TEST(DecodeWords, LongValueIsLinear) {
    // Tens of thousands of words and a long tail: a quadratic scan would not finish.
    std::string input;
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        input += "=?utf-8?B?QUJD?= ";
        expected += "ABC";
    }
    input += std::string(1 << 22, 'x');
    expected += " " + std::string(1 << 22, 'x');
    EXPECT_EQ(decode(input), expected);
}

struct decoder_row {
    std::string text;
    std::string expected;
};

std::string run_base64(const std::string& text, size_t* consumed) {
    std::string out(text.size(), '\0');
    size_t length = 99;
    *consumed = hdr_base64_decode(&length, reinterpret_cast<unsigned char*>(out.data()),
                                  text.data(), text.size(), text.size());
    return out.substr(0, length);
}

std::string run_qp(const std::string& text, size_t* consumed) {
    std::string out(text.size(), '\0');
    size_t length = 99;
    *consumed = hdr_qp_decode(reinterpret_cast<unsigned char*>(out.data()), &length, text.data(),
                              text.size(), text.size());
    return out.substr(0, length);
}

TEST(Base64, Groups) {
    const std::vector<decoder_row> rows = {
        {"QUJD", "ABC"},
        {"QUI=", "AB"},
        {"QQ==", "A"},
        {"QUJDRA", "ABC"},
        {"QQ", ""},
        {"", ""},
        {"QU JD", "ABC"},
        {"Q\r\nU*J.D", "ABC"},
        {"SGVsbG8gV29ybGQ=", "Hello World"},
        {"w6k=", "\xC3\xA9"},
        {"////", "\xFF\xFF\xFF"},
        {"QQ==QUJD", "AABC"},
        {"QUJD====", "ABC"},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        size_t consumed = 0;
        EXPECT_EQ(run_base64(rows[i].text, &consumed), rows[i].expected)
            << "row " << i << ": " << rows[i].text;
    }
}

TEST(Base64, ConsumedCount) {
    size_t consumed = 0;
    run_base64("QUJD", &consumed);
    EXPECT_EQ(consumed, 4u);
    run_base64("QUJDRA", &consumed);  // the two values of the cut group are given back
    EXPECT_EQ(consumed, 4u);
    run_base64("QUJD  ", &consumed);  // no room for a second group below the limit
    EXPECT_EQ(consumed, 4u);
    EXPECT_EQ(run_base64("QUJD  R  ", &consumed), "ABC");  // one value left over at the end
    EXPECT_EQ(consumed, 8u);
    run_base64("QQ", &consumed);
    EXPECT_EQ(consumed, 0u);
}

TEST(QuotedPrintable, Bytes) {
    const std::vector<decoder_row> rows = {
        {"Hello_World", "Hello World"},
        {"Andr=E9", "Andr\xE9"},
        {"=3d", "="},
        {"=3D", "="},
        {"=ZZ", std::string(1, '\0')},
        {"=A", ""},
        {"ab=4", "ab"},
        {"ab=", "ab"},
        {"a=\nb", "ab"},
        {"a\r\nb", "a\nb"},
        {"a\rxb", "a\nb"},
        {"a\r", "a"},
        {"= 5", "\x05"},
        {"=-1", "\xFF"},
        {"=+F", "\x0F"},
        {"=0x", std::string(1, '\0')},
        {"=4z", "\x04"},
        {"\xFF?", "\xFF?"},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        size_t consumed = 0;
        EXPECT_EQ(run_qp(rows[i].text, &consumed), rows[i].expected)
            << "row " << i << ": " << rows[i].text;
    }
}

TEST(QuotedPrintable, EscapesReadLikeStrtoul) {
    // Every pair of bytes after '=' gives the low byte of what strtoul reads in base 16.
    for (int first = 1; first < 256; ++first) {
        for (int second = 1; second < 256; ++second) {
            if (first == '\n') continue;  // a soft line break
            const char pair[3] = {static_cast<char>(first), static_cast<char>(second), '\0'};
            auto expected = static_cast<unsigned char>(std::strtoul(pair, nullptr, 16));
            size_t consumed = 0;
            std::string got = run_qp(std::string("=") + pair, &consumed);
            ASSERT_EQ(got, std::string(1, static_cast<char>(expected)))
                << "bytes " << first << " " << second;
        }
    }
}

}  // namespace
