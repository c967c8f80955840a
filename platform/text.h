#pragma once
// Text conversions. Byte text from messages becomes UTF-16 through the thread's ANSI
// code page: MultiByteToWideChar(CP_THREAD_ACP) on Windows, the Windows-1252 table
// elsewhere. Paths and console text are UTF-8.

#include <string>
#include <string_view>

namespace platform {

// Byte text up to its first NUL, through the ANSI code page.
std::u16string ansi_to_utf16(std::string_view bytes);

// UTF-8 up to the first NUL; a byte that is not part of valid UTF-8 becomes U+FFFD.
std::u16string utf8_to_utf16(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// True when two byte strings are equal but for the case of ASCII letters.
bool equal_ignoring_case(std::string_view a, std::string_view b);

// A path as UTF-16 and back again without loss. On Windows by the rule of the wide file
// calls: valid UTF-8 as UTF-8, anything else through the ANSI code page. Elsewhere, where
// a path is any bytes, a byte that is not part of valid UTF-8 travels as the lone
// surrogate U+DC00 + byte, and comes back as that byte.
std::u16string path_to_utf16(std::string_view path);
std::string path_from_utf16(std::u16string_view path);

}  // namespace platform
