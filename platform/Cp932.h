#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A byte that is not part of a valid character decodes to an escape unit, a lone low surrogate
// U+DC80 to U+DCFF for the bytes 0x80 to 0xFF, so it matches only itself and encodes back to the
// very same byte. (ASCII bytes are always valid.)
constexpr char16_t EscapeUnit(unsigned char byte) { return static_cast<char16_t>(0xDC00 + byte); }
constexpr bool IsEscapeUnit(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }
constexpr char EscapedByte(char16_t unit) { return static_cast<char>(unit - 0xDC00); }

struct DecodedUnit {
    char16_t unit;
    std::uint8_t length; // bytes taken from the input: 1 or 2
};

// The decoding tables, for loops that decode byte after byte without a call per character.
class Cp932Decoder {
public:
    // Decodes the character that starts at data[0]; size must be at least 1.
    DecodedUnit At(const unsigned char* data, std::size_t size) const
    {
        const unsigned char b = data[0];
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            if (size >= 2) {
                const char16_t unit = m_pair[(std::size_t(b) << 8) | data[1]];
                if (unit != 0) {
                    return { unit, 2 };
                }
            }
            return { EscapeUnit(b), 1 };
        }
        const char16_t unit = m_single[b];
        return { unit != 0 || b == 0 ? unit : EscapeUnit(b), 1 };
    }

private:
    friend const Cp932Decoder& Cp932();
    const char16_t* m_single = nullptr; // 256 entries, 0 where the byte alone is not a character
    const char16_t* m_pair = nullptr; // [lead << 8 | trail], 0 where not a character
};

const Cp932Decoder& Cp932();

// Decodes the character that starts at data[0]; size must be at least 1.
inline DecodedUnit DecodeCp932At(const unsigned char* data, std::size_t size)
{
    return Cp932().At(data, size);
}

std::u16string DecodeCp932(std::string_view bytes);

// Escape units become their byte again; a character that CP932 cannot express becomes '?'.
std::string EncodeCp932(std::u16string_view text);

// How many CP932 codes decode to this unit (0 for none; 2 or 3 for the doubly-coded characters).
int Cp932CodeCount(char16_t unit);

// Every byte sequence that decodes to this unit (an escape unit: its one byte).
std::vector<std::string> Cp932Codes(char16_t unit);

} // namespace platform
