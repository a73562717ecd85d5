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

// True for a unit that has another case partner (its lower-case form differs, or it is one).
constexpr bool HasCasePartner(char16_t c)
{
    return LowerCaseUnit(c) != c || (c >= u'a' && c <= u'z') || (c >= 0xFF41 && c <= 0xFF5A)
        || (c >= 0x03B1 && c <= 0x03C9) || (c >= 0x0430 && c <= 0x044F) || c == 0x0451;
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
