#pragma once
// Content-Transfer-Encoding undone: base64 and quoted-printable into the bytes they carry.
// Both read what mailers wrote, not only what they should have written.

#include <string>
#include <string_view>

namespace msg {

// Characters outside the base64 alphabet (line breaks, blanks, noise) are skipped; a '='
// ends a group of four, so pieces padded and joined together still decode.
std::string base64_decoded(std::string_view text);

// "=XX" is a byte (either case of hex digits), "=" at a line's end joins the lines, blanks
// before a line break are dropped; any other '=' stands for itself.
std::string quoted_printable_decoded(std::string_view text);

}  // namespace msg
