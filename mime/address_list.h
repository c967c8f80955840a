#pragma once
// Address lists (From, To) split into mailboxes for the .msg file's sender and recipients.

#include <string>
#include <string_view>
#include <vector>

#include "header/decode.h"

namespace mime {

struct mailbox {
    std::string name;     // display name decoded into UTF-8; may be empty
    std::string address;  // the bare address as UTF-8; empty when the value held only a name
};

// Splits a raw header value: quoted names with commas, comments, angle addresses, groups
// ("undisclosed-recipients:;" gives nothing) and folds. Names and addresses are read as
// `reading` says.
std::vector<mailbox> parse_address_list(std::string_view value, const hdr_reading& reading = {});

}  // namespace mime
