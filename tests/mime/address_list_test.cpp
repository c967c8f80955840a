// Address lists as the item splits them into sender and recipients.

#include "mime/address_list.h"

#include <gtest/gtest.h>

namespace {

std::string describe(const std::vector<mime::mailbox>& boxes) {
    std::string out;
    for (auto& box : boxes) out += "[" + box.name + "|" + box.address + "]";
    return out;
}

}  // namespace

TEST(AddressList, SplitsAndDecodes) {
    const struct {
        std::string value, expected;
    } rows[] = {
        {"bob@example.com", "[|bob@example.com]"},
        {"Bob <bob@example.com>", "[Bob|bob@example.com]"},
        {"\"Smith, Bob\" <bob@x.com>, ann@y.org", "[Smith, Bob|bob@x.com][|ann@y.org]"},
        {"ann@y.org (Ann Y), <c@z>", "[Ann Y|ann@y.org][|c@z]"},
        {"undisclosed-recipients:;", ""},
        {"Team: a@x, \"B\" <b@x>;, c@x", "[|a@x][B|b@x][|c@x]"},
        {"=?iso-8859-1?Q?J=F6rg?= <j@x>", "[J\xC3\xB6rg|j@x]"},
        {"=?utf-8?B?w4RydGU=?= =?utf-8?B?IMOcYg==?= <u@x>",
         "[\xC3\x84rte \xC3\x9C"
         "b|u@x]"},
        {"\"=?windows-1252?Q?=80uro?=\" <e@x>",
         "[\xE2\x82\xAC"
         "uro|e@x]"},
        {"=?koi8-r?B?8NLJ18XU?= <r@x>", "[\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82|r@x]"},
        {"Ann\r\n Lee\r\n\t<ann@x>", "[Ann Lee|ann@x]"},
        {"<@relay.net:route@x>", "[|route@x]"},
        {"\"Quote \\\"Q\\\" Me\" <q@x>", "[Quote \"Q\" Me|q@x]"},
        {"Just A Name", "[Just A Name|]"},
        {" , ,", ""},
        {"Ann (the (nested) boss) <a@x>", "[Ann|a@x]"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(describe(mime::parse_address_list(rows[i].value)), rows[i].expected)
            << "row " << i;
    }
}
