#pragma once
// Text conversions. Byte text from messages becomes UTF-16 through the thread's ANSI
// code page: MultiByteToWideChar(CP_THREAD_ACP) on Windows, the Windows-1252 table
// elsewhere. Text of a named charset goes through the system's converters. Paths and
// console text are UTF-8.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Byte text up to its first NUL, through the ANSI code page.
std::u16string ansi_to_utf16(std::string_view bytes);
// Every byte through the ANSI code page, NUL bytes too.
std::u16string ansi_bytes_to_utf16(std::string_view bytes);

// The same bytes back from such text (a character the code page lacks becomes '?').
std::string utf16_to_ansi(std::u16string_view text);
// The same, appended to `out`; false when the bytes do not read back as `text`.
bool append_ansi(std::u16string_view text, std::string& out);

// Byte text through Windows-1252 on every system; the five bytes the code page leaves
// undefined become the C1 controls of the same value, as Windows reads them.
std::u16string windows_1252_to_utf16(std::string_view bytes);

// Bytes of the named charset (an IANA name or alias, any case) as UTF-8; none when the
// charset is unknown. Bytes not valid in it are `replaced` one sequence at a time by U+FFFD,
// or make the whole conversion fail when `refused` (the forms this program reads itself,
// UTF-16, UTF-7 and the escapes of ISO-2022-JP, always replace). NUL bytes are converted too.
enum class invalid_bytes { refused, replaced };
std::optional<std::string> charset_to_utf8(std::string_view charset, std::string_view bytes,
                                           invalid_bytes invalid = invalid_bytes::refused);

// The Windows code page of the named charset, as charset_to_utf8 reads it; 0 when the charset
// is unknown or Windows has none for it.
unsigned charset_code_page(std::string_view charset);

// The length of the valid UTF-8 sequence starting at `at`; 0 when none starts there.
size_t utf8_sequence_length(std::string_view text, size_t at);
// The same, with the code point it encodes in `*code` (left alone when none starts there).
size_t utf8_sequence(std::string_view text, size_t at, char32_t* code);
// True when the whole text is valid UTF-8.
bool valid_utf8(std::string_view text);

// A name (UTF-8) as it is printed to the terminal: C0 and C1 controls and DEL shown as '?',
// so that a store or folder name cannot move the cursor, clear the screen or start a line.
std::string printable(std::string_view name);

// Appends the UTF-8 form of `code`; a surrogate or a value above U+10FFFF becomes U+FFFD.
void append_utf8(std::string& out, char32_t code);

// UTF-8 up to the first NUL; a byte that is not part of valid UTF-8 becomes U+FFFD.
std::u16string utf8_to_utf16(std::string_view utf8);
// The same over all the text, NUL bytes kept as characters.
std::u16string utf8_text_to_utf16(std::string_view utf8);
// The number of UTF-16 code units utf8_text_to_utf16 makes of the text.
size_t utf16_length(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// True when two byte strings are equal but for the case of ASCII letters.
bool equal_ignoring_case(std::string_view a, std::string_view b);

// `name`, or "<name> (2)" and on when `taken` holds it already, compared as
// equal_ignoring_case compares (as Windows compares names); the name given is added to
// `taken`.
std::string take_unique_name(std::vector<std::string>& taken, const std::string& name);

// A path as UTF-16 and back again without loss. On Windows by the rule of the wide file
// calls: valid UTF-8 as UTF-8, anything else through the ANSI code page. Elsewhere, where
// a path is any bytes, a byte that is not part of valid UTF-8 travels as the lone
// surrogate U+DC00 + byte, and comes back as that byte.
std::u16string path_to_utf16(std::string_view path);
std::string path_from_utf16(std::u16string_view path);

}  // namespace platform
