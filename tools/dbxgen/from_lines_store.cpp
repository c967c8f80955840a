// A small store of messages with lines an mbox file must quote or may misread: lines
// beginning "From ", ">From " and ">>From ", LF line ends, a message whose last line has
// no line end, one without sender or date, and a deleted fragment.

#include "tools/dbxgen/dbxgen.h"

namespace dbxgen {

namespace {

constexpr const char* messages[] = {
    "From: Ann <ann@example.com>\r\nTo: bob@example.com\r\nSubject: quoting\r\n"
    "Date: Mon, 3 Mar 2003 10:00:00 +0100\r\n\r\n"
    "From the start of a line.\r\n>From once quoted.\r\n>>From twice quoted.\r\n"
    "From\r\n From with a blank before it.\r\nFrom: not a header here\r\n\r\nFrom again.\r\n",
    "From: carol@example.org\nTo: dan@example.org\nSubject: LF only\n"
    "Date: 29 Feb 2004 23:59:59 GMT\n\nFrom the LF lines.\n\n>From and an empty line.\n\n",
    "From: \"Eve, the sender\" <eve@example.net>\r\nSubject: no line end at the end\r\n"
    "Date: Sun, 31 Dec 1989 12:00:00 -0000\r\n\r\nlast line\r\nFrom without end",
    "To: frank@example.com\r\nSubject: no sender, no date\r\n\r\nFrom nobody.\r\n",
};

constexpr const char* fragment =
    "tinued from a deleted message.\r\nFrom a fragment's body.\r\n>From there.\r\n";

}  // namespace

store_image from_lines_store() {
    return store_of_messages({std::begin(messages), std::end(messages)}, {fragment});
}

}  // namespace dbxgen
