#pragma once

#include <string>
#include <string_view>

namespace common {

// Windows: backslash, drive prefixes, letter case ignored. Posix: slash, no drive, case kept.
enum class PathStyle { Windows, Posix };

// The style of the platform the program runs on.
constexpr PathStyle NativePathStyle()
{
#ifdef _WIN32
    return PathStyle::Windows;
#else
    return PathStyle::Posix;
#endif
}

constexpr char16_t Separator(PathStyle style) { return style == PathStyle::Windows ? u'\\' : u'/'; }

// Leading and trailing U+0020 removed.
std::u16string TrimSpaces(std::u16string_view text);

// How a path is taken in: trimmed, and lower-cased where the file system ignores case.
std::u16string TidyPath(std::u16string_view path, PathStyle style);

// The folder part of a path, ending in a separator; a path with a dot anywhere names a file.
std::u16string NormalizePath(std::u16string_view path, PathStyle style = NativePathStyle());

// The part after the last separator (or after the drive prefix), tidied.
std::u16string GetFileNamePart(std::u16string_view path, PathStyle style = NativePathStyle());

} // namespace common
