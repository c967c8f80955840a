#pragma once
// Content-Transfer-Encoding undone: base64 and quoted-printable into the bytes they carry.
// Both read what mailers wrote, not only what they should have written.

#include <optional>
#include <string>
#include <string_view>

namespace mime {

// Characters outside the base64 alphabet (line breaks, blanks, noise) are skipped; a '='
// ends a group of four, so pieces padded and joined together still decode.
std::string base64_decoded(std::string_view text);

// "=XX" is a byte (either case of hex digits), "=" at a line's end joins the lines, blanks
// before a line break are dropped; any other '=' stands for itself.
std::string quoted_printable_decoded(std::string_view text);

// "x-uuencode", "uuencode" and "x-uue" (any case already lowered by the caller).
bool is_uuencoding(std::string_view encoding);

// A file in the uuencode form: "begin MODE NAME", lines each led by a length character,
// "end". A line shorter than its length character says is read as if the blanks stripped
// from its end in transit were there. None when no "begin" line is there.
// With `name_only` the bytes are left out.
struct uudecoded_file {
    std::string name;  // as the begin line gives it; may be empty
    std::string bytes;
};
std::optional<uudecoded_file> uudecoded(std::string_view text, bool name_only = false);

}  // namespace mime
