#pragma once
// Text between the dialog's wide strings (UTF-16 on Windows) and the engine's UTF-8, and
// counts in words.

#include <windows.h>

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

// A whole number with its digits grouped as the user's locale groups them ("100,000").
inline std::wstring grouped(long long number) {
    std::wstring digits = std::to_wstring(number);
    wchar_t separator[8] = L",", decimal[8] = L".", grouping[16] = L"3;0";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SGROUPING, grouping, 16);
    // "3;0" is groups of three, "3;2;0" three then twos, "3" one group of three only.
    UINT groups = 0;
    for (const wchar_t* at = grouping; *at != L'\0'; ++at) {
        if (*at >= L'0' && *at <= L'9') groups = groups * 10 + UINT(*at - L'0');
    }
    size_t length = wcslen(grouping);
    if (length >= 2 && grouping[length - 2] == L';' && grouping[length - 1] == L'0') {
        groups /= 10;
    } else {
        groups *= 10;
    }
    NUMBERFMTW format{0, 1, groups, decimal, separator, 1};
    wchar_t shown[64];
    if (GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, digits.c_str(), &format, shown, 64) <= 0)
        return digits;
    return shown;
}

// "1 message", "2 messages": a count and the noun that fits it.
inline std::wstring counted(int count, const wchar_t* one, const wchar_t* many) {
    return grouped(count) + L" " + (count == 1 ? one : many);
}
