#pragma once

#include "common/Paths.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace common {

// The settings file to use. Only a development environment would ever run the program under
// another executable, so the default path is always the answer here.
std::u16string GetIniName(std::uintptr_t windowHandle, const std::u16string& defaultPath,
    const std::u16string& developmentPath);

// One entry of an INI file: empty when the file, section or key is missing. The value is read
// whole, of any length, and trimmed; lower-cased only when asked and the path style ignores case.
std::u16string ReadProfileString(const std::u16string& iniPath, std::u16string_view section,
    std::u16string_view key, bool lowerCase, PathStyle style = NativePathStyle());

// Writes the value exactly as given, creating the file, section or key as needed. Every other line
// of the file is kept. False when the file could not be written; it is then left as it was.
bool WriteProfileString(const std::u16string& iniPath, std::u16string_view section,
    std::u16string_view key, std::u16string_view value);

} // namespace common
