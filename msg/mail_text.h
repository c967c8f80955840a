#pragma once
// What the built-in store reads from the message text it is given: the header block, single
// fields, the date, encoded words and address lists. The text is UTF-16 (each byte of the
// stored message already turned into a character), so everything here works on UTF-16.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace msg {

// The header lines up to the first empty line, the last line end included; the whole text
// when there is no empty line.
std::u16string_view header_block(std::u16string_view text);

// The value of the first field called `name` (any case), unfolded and trimmed.
std::optional<std::u16string> header_field(std::u16string_view block, std::u16string_view name);

// An RFC 5322 date ("Tue, 1 Jul 2003 10:52:37 +0200", obsolete zones and two-digit years
// too) as seconds since 1970 UTC.
std::optional<int64_t> parse_date(std::u16string_view value);

// Encoded words (=?charset?B|Q?...?=) in UTF-8, US-ASCII, ISO-8859-1 and Windows-1252
// decoded; others, and malformed ones, stay as they are.
std::u16string decode_words(std::u16string_view text);

struct mailbox {
    std::u16string name;     // display name, encoded words decoded; may be empty
    std::u16string address;  // the bare address; may be empty when the value held only a name
};

// Splits an address list: quoted names with commas, comments, angle addresses, groups
// ("undisclosed-recipients:;" gives nothing) and folds.
std::vector<mailbox> parse_address_list(std::u16string_view value);

}  // namespace msg
