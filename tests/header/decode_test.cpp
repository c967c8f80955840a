// Header text for people: real-world encoded words per charset, words split inside a
// character, raw bytes and parameter values. The same table runs natively (iconv) and
// under wine (MultiByteToWideChar), so the two systems' converters must agree.
#include "header/decode.h"

#include <gtest/gtest.h>

namespace {

struct decode_row {
    const char* label;
    const char* input;
    const char* expected;  // UTF-8
};

const decode_row words[] = {
    {"ISO-8859-1, German", "=?iso-8859-1?Q?Gr=FC=DFe_aus_M=FCnchen?=", "Grüße aus München"},
    {"ISO-8859-1 label, Windows-1252 quote", "=?ISO-8859-1?Q?Don=92t_panic?=", "Don’t panic"},
    {"ISO-8859-2, Polish", "=?iso-8859-2?Q?=A3=F3d=BC?=", "Łódź"},
    {"ISO-8859-3, Maltese", "=?iso-8859-3?Q?=A1amrun?=", "Ħamrun"},
    {"ISO-8859-4, Latvian", "=?iso-8859-4?B?Uu9nYQ==?=", "Rīga"},
    {"ISO-8859-5, Russian", "=?iso-8859-5?B?v+DY0tXi?=", "Привет"},
    {"ISO-8859-6, Arabic", "=?iso-8859-6?B?5dHNyMc=?=", "مرحبا"},
    {"ISO-8859-7, Greek", "=?iso-8859-7?Q?=CA=E1=EB=E7=EC=DD=F1=E1?=", "Καλημέρα"},
    {"ISO-8859-8, Hebrew", "=?iso-8859-8?B?+ezl7Q==?=", "שלום"},
    {"ISO-8859-9, Turkish", "=?iso-8859-9?Q?=DDstanbul_=FEehri?=", "İstanbul şehri"},
    {"ISO-8859-10, Icelandic and Sami", "=?iso-8859-10?Q?=DE=F3r=F0ur_=AF?=", "Þórður Ŋ"},
    {"ISO-8859-11, Thai", "=?iso-8859-11?B?ysfRyrTV?=", "สวัสดี"},
    {"ISO-8859-13, Lithuanian", "=?iso-8859-13?Q?=D0iauli=F8?=", "Šiaulių"},
    {"ISO-8859-14, Welsh", "=?iso-8859-14?Q?=D0yn_=FE?=", "Ŵyn ŷ"},
    {"ISO-8859-15, euro", "=?iso-8859-15?Q?=A4uro_=BDuvre?=", "€uro œuvre"},
    {"ISO-8859-16, Romanian", "=?iso-8859-16?Q?Bun=E3_ziua=2C_=DEar=E3?=", "Bună ziua, Țară"},
    {"Windows-1250", "=?windows-1250?Q?P=F8=EDli=9A_=9Elu=9Dou=E8k=FD?=", "Příliš žluťoučký"},
    {"Windows-1251", "=?windows-1251?B?xO7h8PvpIOTl7fw=?=", "Добрый день"},
    {"Windows-1252", "=?windows-1252?Q?=84Zitat=93_=96_=805?=", "„Zitat“ – €5"},
    {"Windows-1253", "=?windows-1253?Q?=B8=ED=E1?=", "Ένα"},
    {"Windows-1254", "=?windows-1254?Q?A=F0a=E7?=", "Ağaç"},
    {"Windows-1255", "=?windows-1255?B?8uH46fo=?=", "עברית"},
    {"Windows-1256", "=?windows-1256?B?2tHI7Q==?=", "عربي"},
    {"Windows-1257", "=?windows-1257?Q?Tallinn_=D5=C4=D6=DC?=", "Tallinn ÕÄÖÜ"},
    {"Windows-1258, Vietnamese without combining marks", "=?windows-1258?Q?=D0=E2y?=", "Đây"},
    {"KOI8-R", "=?koi8-r?B?8NLJ18XULCDNydI=?=", "Привет, мир"},
    {"KOI8-U", "=?koi8-u?B?vcHOz8sgt9bByw==?=", "Ґанок Їжак"},
    {"GB2312", "=?gb2312?B?1tDOxNPKvP4=?=", "中文邮件"},
    {"GBK", "=?gbk?B?6Ua7+Q==?=", "镕基"},
    {"GB18030, its two-byte part", "=?gb18030?B?vPLM5dbQzsQ=?=", "简体中文"},
    {"Big5", "=?big5?B?wWPF6aSkpOU=?=", "繁體中文"},
    {"Shift_JIS", "=?shift_jis?B?k/qWe4zqgsyDgYFbg4s=?=", "日本語のメール"},
    {"EUC-JP", "=?euc-jp?B?xvzL3Ljs?=", "日本語"},
    {"ISO-2022-JP", "=?iso-2022-jp?B?GyRCRnxLXDhsJE4lYSE8JWsbKEI=?=", "日本語のメール"},
    {"EUC-KR", "=?euc-kr?B?x9Gxub7uILjewM8=?=", "한국어 메일"},
    {"ks_c_5601-1987, as Outlook labels EUC-KR",
     "=?ks_c_5601-1987?B?vsiz58fPvLy/5A==?=", "안녕하세요"},
    {"UTF-8, B", "=?utf-8?B?R3LDtsOfZSDinJMg5pel5pys?=", "Größe ✓ 日本"},
    {"UTF-8, Q, lower case", "=?utf-8?q?caf=C3=A9?=", "café"},
    {"US-ASCII", "=?us-ascii?Q?plain_text?=", "plain text"},
    {"UTF-8 split inside a character",
     "=?utf-8?Q?caf=C3?= =?utf-8?Q?=A9_cr=C3=A8me?=", "café crème"},
    {"UTF-8 split inside a Chinese character",
     "=?utf-8?B?5Lit5g==?= =?utf-8?B?lofkuLvpopg=?=", "中文主题"},
    {"GB2312 split inside a character", "=?gb2312?B?1tDO?= =?gb2312?B?xNPKvP4=?=", "中文邮件"},
    {"Shift_JIS split inside a character", "=?shift_jis?B?k/qW?= =?shift_jis?B?e4zq?=", "日本語"},
    {"charset names in any case", "=?Utf-8?Q?=C3=A9?= =?KOI8-r?B?8A==?=", "éП"},
    {"a language after the charset", "=?utf-8*en?Q?hello?=", "hello"},
    {"unknown charset: Windows-1252", "=?x-unknown?Q?caf=E9?=", "café"},
    {"bytes invalid in the charset: Windows-1252", "=?utf-8?Q?caf=E9?=", "café"},
    {"raw UTF-8 stays", "Grüße", "Grüße"},
    {"raw bytes outside UTF-8: ANSI code page", "caf\xE9 \x80", "café €"},
    {"raw mixed with words", "Re: \xE9t\xE9 =?utf-8?Q?=C3=A9?= ok", "Re: été é ok"},
    {"quoted display name", "\"=?iso-8859-1?Q?J=F6rg?=\" <j@x>", "\"Jörg\" <j@x>"},
};

TEST(DecodeText, WordsPerCharset) {
    for (size_t i = 0; i < std::size(words); ++i) {
        EXPECT_EQ(hdr_decode_text(words[i].input), words[i].expected)
            << "row " << i << " (" << words[i].label << "): " << words[i].input;
    }
}

TEST(DecodeText, ParameterValues) {
    const decode_row rows[] = {
        {"UTF-8", "utf-8''%E2%82%AC%20rates.pdf", "€ rates.pdf"},
        {"a language", "iso-8859-1'de'Gr%FC%DFe.txt", "Grüße.txt"},
        {"KOI8-R", "koi8-r''%F0%D2%C9%D7%C5%D4", "Привет"},
        {"no charset: raw bytes", "''caf%C3%A9", "café"},
        {"no apostrophes: raw bytes", "50%25 off", "50% off"},
        {"a stray percent stays", "us-ascii''100%", "100%"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(hdr_decode_parameter(rows[i].input), rows[i].expected)
            << "row " << i << " (" << rows[i].label << ")";
    }
}

}  // namespace
