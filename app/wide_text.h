#pragma once
// Text between the dialog's wide strings (UTF-16 on Windows) and the engine's UTF-8.

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
