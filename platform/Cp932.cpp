#include "platform/Cp932.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

namespace platform {
namespace {

constexpr bool IsLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Tables built once from glibc's CP932 converter: decoding is table lookups, never iconv calls.
struct Tables {
    std::array<char16_t, 256> single {}; // 0 where the byte alone is not a character
    std::array<char16_t, 65536> pair {}; // [lead << 8 | trail], 0 where not a character
    std::array<std::uint8_t, 65536> codeCount {};
    std::array<std::uint16_t, 65536> encoded {}; // preferred code; 0 where none (U+0000 aside)
    std::array<bool, 65536> encodable {};
    std::vector<std::pair<char16_t, std::uint16_t>>
        codesByUnit; // sorted; codes below 0x100 are single bytes
};

char16_t Convert(iconv_t cd, const char* in, std::size_t inLength)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char out[8];
    char* inPtr = const_cast<char*>(in);
    char* outPtr = out;
    std::size_t inLeft = inLength;
    std::size_t outLeft = sizeof out;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0
        || sizeof out - outLeft != 2) {
        return 0;
    }
    return static_cast<char16_t>(
        (static_cast<unsigned char>(out[0]) << 8) | static_cast<unsigned char>(out[1]));
}

std::unique_ptr<Tables> BuildTables()
{
    auto t = std::make_unique<Tables>();
    iconv_t decoder = iconv_open("UTF-16BE", "CP932");
    iconv_t encoder = iconv_open("CP932", "UTF-16BE");
    if (decoder == reinterpret_cast<iconv_t>(-1) || encoder == reinterpret_cast<iconv_t>(-1)) {
        // Without the converter only ASCII is known; everything else stays an escape unit.
        for (int b = 0; b < 0x80; ++b) {
            t->single[b] = static_cast<char16_t>(b);
            t->codeCount[b] = 1;
            t->encoded[b] = static_cast<std::uint16_t>(b);
            t->encodable[b] = true;
        }
        return t;
    }
    for (int b = 0; b < 256; ++b) {
        if (IsLeadByte(static_cast<unsigned char>(b))) {
            continue;
        }
        const char in = static_cast<char>(b);
        const char16_t unit = b == 0 ? char16_t(0) : Convert(decoder, &in, 1);
        if (b == 0 || (unit != 0 && !IsEscapeUnit(unit))) {
            t->single[b] = unit;
            ++t->codeCount[unit];
        }
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsLeadByte(static_cast<unsigned char>(lead))) {
            continue;
        }
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            const char in[2] = { static_cast<char>(lead), static_cast<char>(trail) };
            const char16_t unit = Convert(decoder, in, 2);
            if (unit != 0 && !IsEscapeUnit(unit)) {
                t->pair[(lead << 8) | trail] = unit;
                ++t->codeCount[unit];
            }
        }
    }
    for (int u = 0; u < 65536; ++u) {
        if (t->codeCount[u] == 0) {
            continue;
        }
        const char in[2] = { static_cast<char>(u >> 8), static_cast<char>(u & 0xFF) };
        iconv(encoder, nullptr, nullptr, nullptr, nullptr);
        char out[4];
        char* inPtr = const_cast<char*>(in);
        char* outPtr = out;
        std::size_t inLeft = 2;
        std::size_t outLeft = sizeof out;
        if (u == 0) {
            t->encodable[0] = true;
            continue;
        }
        if (iconv(encoder, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            continue;
        }
        const std::size_t n = sizeof out - outLeft;
        const auto* o = reinterpret_cast<const unsigned char*>(out);
        t->encoded[u] = n == 1 ? o[0] : static_cast<std::uint16_t>((o[0] << 8) | o[1]);
        t->encodable[u] = n == 1 || n == 2;
    }
    for (int b = 0; b < 256; ++b) {
        if (t->single[b] != 0 || b == 0) {
            t->codesByUnit.emplace_back(t->single[b], static_cast<std::uint16_t>(b));
        }
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (t->pair[(lead << 8) | trail] != 0) {
                t->codesByUnit.emplace_back(
                    t->pair[(lead << 8) | trail], static_cast<std::uint16_t>((lead << 8) | trail));
            }
        }
    }
    std::sort(t->codesByUnit.begin(), t->codesByUnit.end());
    iconv_close(decoder);
    iconv_close(encoder);
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
        } else if (!t.encodable[unit]) {
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
