#include "platform/Cp932.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// The program reads and writes CP932 through its own table; these tests hold that table to the
// conversion of the Windows system the program runs on (here wine with a Japanese locale).

TEST(CodePage, TheSystemCodePageIsJapanese) { EXPECT_EQ(GetACP(), 932u); }

constexpr bool IsLeadByte(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

std::string Code(int code)
{
    return code > 0xFF ? std::string { static_cast<char>(code >> 8), static_cast<char>(code) }
                       : std::string(1, static_cast<char>(code));
}

// The one character that the whole code decodes to, or 0 for none.
char16_t TableCharacter(const std::string& code)
{
    const platform::DecodedUnit d
        = platform::DecodeCp932At(reinterpret_cast<const unsigned char*>(code.data()), code.size());
    return d.length == code.size() && !platform::IsEscapeUnit(d.unit) ? d.unit : u'\0';
}

char16_t WindowsCharacter(const std::string& code)
{
    wchar_t out[2];
    const int n = MultiByteToWideChar(
        932, MB_ERR_INVALID_CHARS, code.data(), static_cast<int>(code.size()), out, 2);
    return n == 1 ? static_cast<char16_t>(out[0]) : u'\0';
}

TEST(CodePage, EveryCodeDecodesAsWindowsDecodesIt)
{
    // Codes that the table (glibc's CP932) leaves undefined and Windows maps: the program keeps
    // such a byte as it was read. Windows gives the character here, or none.
    struct Exception {
        int code;
        char16_t windows;
        const char* reason;
    };
    const Exception exceptions[] = {
        { 0x80, u'\u0080', "Windows and wine map 0x80 to the control U+0080; glibc does not" },
        { 0xA0, u'\uF8F0', "Windows maps 0xA0 to private use U+F8F0; glibc and wine 8 do not" },
        { 0xFD, u'\uF8F1', "Windows maps 0xFD to private use U+F8F1; glibc and wine 8 do not" },
        { 0xFE, u'\uF8F2', "Windows maps 0xFE to private use U+F8F2; glibc and wine 8 do not" },
        { 0xFF, u'\uF8F3', "Windows maps 0xFF to private use U+F8F3; glibc and wine 8 do not" },
    };
    auto check = [&](int code) {
        const std::string bytes = Code(code);
        const char16_t table = TableCharacter(bytes);
        const char16_t windows = WindowsCharacter(bytes);
        for (const Exception& e : exceptions) {
            if (e.code == code) {
                EXPECT_EQ(table, 0) << std::hex << code << ": " << e.reason;
                EXPECT_TRUE(windows == 0 || windows == e.windows)
                    << std::hex << code << ": " << e.reason;
                return;
            }
        }
        EXPECT_EQ(table, windows) << std::hex << code;
    };
    for (int b = 0; b < 0x100; ++b) {
        if (!IsLeadByte(b)) {
            check(b);
        }
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0; trail < 0x100 && IsLeadByte(lead); ++trail) {
            check((lead << 8) | trail);
        }
    }
}

TEST(CodePage, EveryCharacterEncodesAsWindowsEncodesIt)
{
    // A doubly-coded character too: Windows and the table choose the same one of its codes.
    for (int unit = 1; unit < 0x10000; ++unit) {
        const auto u = static_cast<char16_t>(unit);
        if (platform::IsEscapeUnit(u) || platform::Cp932CodeCount(u) == 0) {
            continue;
        }
        const wchar_t wide = static_cast<wchar_t>(u);
        char out[4];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(
            932, WC_NO_BEST_FIT_CHARS, &wide, 1, out, 4, nullptr, &usedDefault);
        EXPECT_EQ(platform::EncodeCp932(std::u16string(1, u)), std::string(out, n > 0 ? n : 0))
            << std::hex << unit;
        EXPECT_FALSE(usedDefault) << std::hex << unit;
    }
}

} // namespace
