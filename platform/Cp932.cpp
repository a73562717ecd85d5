#include "platform/Cp932.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace platform {
namespace {

#include "platform/Cp932Table.inc"

// The lookup tables, unpacked once from the table kept in the repository, the same on every
// platform: decoding and encoding are table lookups.
struct Tables {
    std::array<char16_t, 256> single {}; // 0 where the byte alone is not a character
    std::array<char16_t, 65536> pair {}; // [lead << 8 | trail], 0 where not a character
    std::array<std::uint8_t, 65536> codeCount {};
    std::array<std::uint16_t, 65536> encoded {}; // the code a unit encodes to, if it has any
    std::vector<std::pair<char16_t, std::uint16_t>> codesByUnit; // sorted; below 0x100 a byte
};

std::unique_ptr<Tables> BuildTables()
{
    auto t = std::make_unique<Tables>();
    for (int b = 0; b < 0x80; ++b) {
        t->single[b] = static_cast<char16_t>(b);
    }
    std::copy(std::begin(kCp932High), std::end(kCp932High), t->single.begin() + 0x80);
    for (const Cp932Row& row : kCp932Rows) {
        std::copy_n(kCp932PairUnits + row.offset, row.count,
            t->pair.begin() + ((row.lead << 8) | row.firstTrail));
    }

    for (int b = 0; b < 256; ++b) {
        if (t->single[b] != 0 || b == 0) {
            t->codesByUnit.emplace_back(t->single[b], static_cast<std::uint16_t>(b));
        }
    }
    for (int code = 0x8100; code < 0x10000; ++code) {
        if (t->pair[code] != 0) {
            t->codesByUnit.emplace_back(t->pair[code], static_cast<std::uint16_t>(code));
        }
    }
    std::sort(t->codesByUnit.begin(), t->codesByUnit.end());

    for (const auto& [unit, code] : t->codesByUnit) {
        if (t->codeCount[unit]++ == 0) {
            t->encoded[unit] = code;
        }
    }
    for (const std::uint16_t code : kCp932PreferredCodes) {
        t->encoded[code > 0xFF ? t->pair[code] : t->single[code]] = code;
    }
    return t;
}

const Tables& GetTables()
{
    static const std::unique_ptr<Tables> tables = BuildTables();
    return *tables;
}

} // namespace

const Cp932Decoder& Cp932()
{
    static const Cp932Decoder decoder = [] {
        const Tables& t = GetTables();
        Cp932Decoder d;
        d.m_single = t.single.data();
        d.m_pair = t.pair.data();
        return d;
    }();
    return decoder;
}

std::u16string DecodeCp932(std::string_view bytes)
{
    const Cp932Decoder& decoder = Cp932();
    std::u16string text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const DecodedUnit d = decoder.At(p + i, bytes.size() - i);
        text.push_back(d.unit);
        i += d.length;
    }
    return text;
}

std::string EncodeCp932(std::u16string_view text)
{
    const Tables& t = GetTables();
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        if (IsEscapeUnit(unit)) {
            bytes.push_back(EscapedByte(unit));
        } else if (t.codeCount[unit] == 0) {
            bytes.push_back('?');
        } else if (t.encoded[unit] > 0xFF) {
            bytes.push_back(static_cast<char>(t.encoded[unit] >> 8));
            bytes.push_back(static_cast<char>(t.encoded[unit] & 0xFF));
        } else {
            bytes.push_back(static_cast<char>(t.encoded[unit]));
        }
    }
    return bytes;
}

std::vector<std::string> Cp932Codes(char16_t unit)
{
    if (IsEscapeUnit(unit)) {
        return { std::string(1, EscapedByte(unit)) };
    }
    const auto& index = GetTables().codesByUnit;
    std::vector<std::string> codes;
    for (auto it
         = std::lower_bound(index.begin(), index.end(), std::make_pair(unit, std::uint16_t(0)));
         it != index.end() && it->first == unit; ++it) {
        if (it->second > 0xFF) {
            codes.push_back(
                { static_cast<char>(it->second >> 8), static_cast<char>(it->second & 0xFF) });
        } else {
            codes.push_back(std::string(1, static_cast<char>(it->second)));
        }
    }
    return codes;
}

int Cp932CodeCount(char16_t unit)
{
    if (IsEscapeUnit(unit)) {
        return 1;
    }
    return GetTables().codeCount[unit];
}

} // namespace platform
