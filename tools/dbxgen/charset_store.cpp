// A small store whose senders, receivers and subjects are written in several charsets, as
// mailers wrote them: ISO-8859-1, KOI8-R, GB2312 and UTF-8 encoded words, raw 8-bit text,
// a C1 control and characters no file name may hold.

#include "tools/dbxgen/dbxgen.h"

namespace dbxgen {

namespace {

struct header_values {
    const char* from;
    const char* to;
    const char* subject;
    const char* date;
};

constexpr header_values charset_headers[] = {
    {"=?iso-8859-1?Q?J=FCrgen_M=FCller?= <juergen@example.de>",
     "=?iso-8859-1?Q?Fran=E7oise_Lef=E8vre?= <francoise@example.fr>",
     "=?iso-8859-1?Q?Gr=FC=DFe_aus_M=FCnchen?=", "Tue, 15 Nov 1994 08:12:31 GMT"},
    {"=?koi8-r?B?78zYx8Eg8MXU0s/XzsEg883J0s7P18E=?= <olga@example.ru>",
     "=?koi8-r?B?6dfBziDr1drOxcPP1w==?= <ivan@example.ru>",
     "=?koi8-r?B?79Teo9Qg2sEgy9fB0tTBzA==?=", "Fri, 13 Feb 2009 23:31:30 +0300"},
    {"=?gb2312?B?zfXQocP3?= <wang@example.cn>",
     "=?gb2312?B?xbfR9MTIxMjFt9H0xMjEyMW30fTEyMTI?= <ouyang@example.cn>",
     "=?gb2312?B?vL62yLGouOYvst245Q==?=", "1 Jan 2040 00:00:00 +0800"},
    {"=?utf-8?B?Wm/DqyDDmHJzdGVk?= <zoe@example.dk>", "team@example.org",
     "=?utf-8?B?Q2Fmw6kg4pyTIG5hw692ZSByw6lzdW3DqQ==?=", "5 Oct 2010 10:00:00 -0500"},
    {"Sm\xC3\xB6rg\xC3\xA5s <raw@example.se>", "\"Ren\xE9\" <rene@example.fr>",
     "=?utf-8?Q?Tab=09NEL=C2=85CSI=C2=9B_a/b:c?=", "29 Feb 2000 12:00:00 GMT"},
};

std::string message_text(const header_values& values) {
    std::string text;
    text.append("From: ").append(values.from).append("\r\n");
    text.append("To: ").append(values.to).append("\r\n");
    text.append("Subject: ").append(values.subject).append("\r\n");
    text.append("Date: ").append(values.date).append("\r\n");
    text.append("MIME-Version: 1.0\r\n\r\n");
    return text + "A message whose header is written in several charsets.\r\n";
}

}  // namespace

store_image charset_store() {
    std::vector<std::string> texts;
    for (const header_values& values : charset_headers) texts.push_back(message_text(values));
    return store_of_messages(texts);
}

store_image store_of_messages(const std::vector<std::string>& texts,
                              const std::vector<std::string>& fragments) {
    store_image image;
    image.put_signature();
    random_source random(1);
    uint32_t next = 0x200;
    for (const std::string& text : texts) {
        auto offsets =
            lay_out_blocks(next, live_blocks_for(text.size()), block_order::in_order, random);
        image.add_message(text, offsets);
        next += static_cast<uint32_t>(offsets.size()) * block_size;
    }
    for (const std::string& text : fragments) {
        auto offsets =
            lay_out_blocks(next, freed_blocks_for(text.size()), block_order::in_order, random);
        image.add_freed_fragment(text, offsets, 0);
        next += static_cast<uint32_t>(offsets.size()) * block_size;
    }
    return image;
}

}  // namespace dbxgen
