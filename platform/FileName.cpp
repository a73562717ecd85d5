#include "platform/FileName.h"

#include "platform/Cp932.h"

namespace platform {

Utf8Character DecodeUtf8At(const unsigned char* data, std::size_t size)
{
    const unsigned char b = data[0];
    if (b < 0x80) {
        return { b, 1 };
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, cp = b & 0x07, min = 0x10000;
    }
    bool valid = length != 0 && length <= size;
    for (std::size_t k = 1; valid && k < length; ++k) {
        valid = (data[k] & 0xC0) == 0x80;
        cp = (cp << 6) | (data[k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8: kept as bytes.
    if (!valid || cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        return { EscapeUnit(b), 1 };
    }
    return { cp, length };
}

std::u16string DecodeFileName(std::string_view bytes)
{
    std::u16string name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const Utf8Character c = DecodeUtf8At(p + i, bytes.size() - i);
        if (c.unit >= 0x10000) {
            const char32_t cp = c.unit - 0x10000;
            name.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            name.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            name.push_back(static_cast<char16_t>(c.unit));
        }
        i += c.length;
    }
    return name;
}

std::string EncodeFileName(std::u16string_view name)
{
    std::string bytes;
    bytes.reserve(name.size() * 3);
    const std::size_t n = name.size();
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = name[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && name[i + 1] >= 0xDC00
            && name[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        } else if (IsEscapeUnit(static_cast<char16_t>(cp))) {
            bytes.push_back(EscapedByte(static_cast<char16_t>(cp)));
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            bytes.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return bytes;
}

std::u16string ReadableName(std::u16string_view name)
{
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    std::u16string text;
    text.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i];
        // The second half of a surrogate pair may have an escape unit's number; it is no byte.
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00
            && name[i + 1] <= 0xDFFF) {
            text.push_back(unit);
            text.push_back(name[++i]);
        } else if (IsEscapeUnit(unit)) {
            const unsigned byte = static_cast<unsigned char>(EscapedByte(unit));
            text += u"\\x";
            text.push_back(hex[byte >> 4]);
            text.push_back(hex[byte & 0xF]);
        } else {
            text.push_back(unit);
        }
    }
    return text;
}

} // namespace platform
