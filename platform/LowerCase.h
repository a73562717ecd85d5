#pragma once

#include <string>
#include <string_view>

namespace platform {

// One unit to one unit, so positions found in a lower-cased copy hold in the original: ASCII A-Z,
// full-width Ａ-Ｚ, and the Greek and Cyrillic capitals that CP932 holds. All else is unchanged.
constexpr char16_t LowerCaseUnit(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0x0391 && c <= 0x03A9)
        || (c >= 0x0410 && c <= 0x042F)) {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c == 0x0401) {
        return 0x0451;
    }
    return c;
}

// Every unit that lower-cases to the same unit as c, c included.
inline std::u16string CasePartners(char16_t c)
{
    const char16_t lower = LowerCaseUnit(c);
    std::u16string partners(1, lower);
    if (lower == 0x0451) {
        partners.push_back(0x0401);
    } else if ((lower >= u'a' && lower <= u'z') || (lower >= 0xFF41 && lower <= 0xFF5A)
        || (lower >= 0x03B1 && lower <= 0x03C9) || (lower >= 0x0430 && lower <= 0x044F)) {
        partners.push_back(static_cast<char16_t>(lower - 0x20));
    }
    return partners;
}

inline std::u16string LowerCase(std::u16string_view text)
{
    std::u16string lower(text);
    for (char16_t& c : lower) {
        c = LowerCaseUnit(c);
    }
    return lower;
}

} // namespace platform
