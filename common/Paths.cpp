#include "common/Paths.h"

#include "platform/LowerCase.h"

namespace common {

std::u16string TrimSpaces(std::u16string_view text)
{
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(u' ');
    return std::u16string(text.substr(first, last - first + 1));
}

std::u16string TidyPath(std::u16string_view path, PathStyle style)
{
    std::u16string tidy = TrimSpaces(path);
    return style == PathStyle::Windows ? platform::LowerCase(tidy) : tidy;
}

std::u16string NormalizePath(std::u16string_view path, PathStyle style)
{
    const char16_t separator = Separator(style);
    std::u16string s = TidyPath(path, style);
    // A path without a dot names a folder; the separator goes on even when one is there already.
    if (s.find(u'.') == std::u16string::npos) {
        s.push_back(separator);
    }
    if (const auto last = s.rfind(separator); last != std::u16string::npos) {
        return s.substr(0, last + 1);
    }
    if (style == PathStyle::Windows) {
        if (const auto colon = s.find(u':'); colon != std::u16string::npos) {
            return s.substr(0, colon + 1);
        }
    }
    return s;
}

std::u16string GetFileNamePart(std::u16string_view path, PathStyle style)
{
    const char16_t separator = Separator(style);
    const std::u16string s = TidyPath(path, style);
    if (s.empty() || s.back() == separator) {
        return {};
    }
    if (const auto last = s.rfind(separator); last != std::u16string::npos) {
        return s.substr(last + 1);
    }
    if (style == PathStyle::Windows) {
        if (const auto colon = s.find(u':');
            colon != std::u16string::npos && colon + 1 < s.size()) {
            return s.substr(colon + 1);
        }
    }
    return {};
}

} // namespace common
