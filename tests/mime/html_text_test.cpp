// The text read from an HTML body: what a reader of the message sees in it.

#include "mime/html_text.h"

#include <gtest/gtest.h>

TEST(HtmlText, ReadsAsTheReaderSeesIt) {
    const struct {
        std::string html, text;
    } rows[] = {
        {"<p>Hi &amp; bye</p>caf&eacute; &Uuml;ber&nbsp;&euro;5 &hellip;",
         "Hi & bye\r\ncaf\xC3\xA9 \xC3\x9C"
         "ber\xC2\xA0\xE2\x82\xAC"
         "5 \xE2\x80\xA6"},
        {"&alpha;&Omega; &thetasym; &spades; &lsquo;q&rsquo; &apos;",
         "\xCE\xB1\xCE\xA9 \xCF\x91 "
         "\xE2\x99\xA0 \xE2\x80\x98q"
         "\xE2\x80\x99 '"},
        {"&#233;&#xE9;&#X20AC; &#150; &#0; &#x110000; &#99999999999;",
         "\xC3\xA9\xC3\xA9\xE2\x82\xAC \xE2\x80\x93 \xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD"},
        {"&nosuch; &amp &#; &#x; &#12a; AT&T", "&nosuch; &amp &#; &#x; &#12a; AT&T"},
        {"<table><tr><th>Item</th><th>Price</th></tr>\r\n<tr><td>Tea</td> <td> 3 </td>"
         "<td></td><td>x</td></tr></table>",
         "Item\tPrice\r\nTea\t3\t\tx"},
        {"See <a href=\"http://example.com/a?b=1&amp;c=2\">the report</a>.",
         "See the report <http://example.com/a?b=1&c=2>."},
        {"<A HREF='mailto:ann@example.com'>ann@example.com</A>, "
         "<a href=http://x.org/>HTTP://X.ORG/</a>",
         "ann@example.com, HTTP://X.ORG/"},
        {"<a href=\"mailto:bob@x\">Bob</a> <a name=top>top</a> <a href=\"#top\">up</a> "
         "<a href=\"javascript:go()\">go</a>",
         "Bob <mailto:bob@x> top up go"},
        {"<a href=\" http://pic.example/ \"><img src=cid:1></a><br>"
         "<a href=\"http://a/\">open",
         "<http://pic.example/>\r\nopen <http://a/>"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(mime::html_to_text(row.html), row.text) << row.html;
    }
}
