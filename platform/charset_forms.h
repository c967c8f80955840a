#pragma once
// The charsets read by this program's own code on every system, so both builds give the
// same text: UTF-16 and UTF-7, and the escapes of ISO-2022-JP. Bytes that are not valid
// become U+FFFD, one sequence at a time; the rest is read as written.

#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Which byte order a UTF-16 text is read in when it does not begin with a byte-order mark
// (one that does is read in the order the mark gives, and the mark is dropped).
// `as_shown` reads it little-endian when more of its pairs are an ASCII byte then a NUL
// than a NUL then an ASCII byte (Windows wrote such text without a mark), big-endian otherwise.
enum class utf16_order { big_endian, little_endian, as_shown };
std::string utf16_form_to_utf8(std::string_view bytes, utf16_order without_mark);

// UTF-7: '+' opens a run of base64 holding UTF-16, "+-" is '+'.
std::string utf7_to_utf8(std::string_view bytes);

// ISO-2022-JP and what its extensions add (half-width katakana by escape, shift or 8-bit
// byte, the NEC and IBM rows of Windows' Shift_JIS, JIS X 0213 plane 1 as far as it is JIS
// X 0208, GB 2312 and KS C 5601 by escape): each run becomes bytes of a double-byte charset,
// handed to `convert` with that charset's name, which gives its UTF-8 text. A byte or
// escape that belongs to none, and the characters of JIS X 0212 and of JIS X 0213 plane 2
// (which no table on Windows holds), are U+FFFD.
using charset_converter = std::function<std::string(std::string_view charset, std::string_view)>;
std::string iso_2022_jp_to_utf8(std::string_view bytes, const charset_converter& convert);

}  // namespace platform
