#pragma once
// Text between the dialog's wide strings (UTF-16 on Windows) and the engine's UTF-8, and
// counts in words.

#include <string>
#include <string_view>

#include "platform/text.h"

inline std::string to_utf8(std::wstring_view text) {
    return platform::utf16_to_utf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

inline std::wstring to_wide(std::string_view utf8) {
    std::u16string text = platform::utf8_to_utf16(utf8);
    return std::wstring(text.begin(), text.end());
}

// "1 message", "2 messages": a count and the noun that fits it.
inline std::wstring counted(int count, const wchar_t* one, const wchar_t* many) {
    return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}
