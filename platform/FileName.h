#pragma once

#include <string>
#include <string_view>

namespace platform {

struct Utf8Character {
    char32_t unit; // an escape unit for a byte that begins no valid UTF-8 sequence
    std::size_t length;
};
// The UTF-8 character that starts at data[0]; size must be at least 1.
Utf8Character DecodeUtf8At(const unsigned char* data, std::size_t size);

// Linux names are bytes. They travel through the program as UTF-16, with every byte that is not
// part of valid UTF-8 carried as an escape unit (see Cp932.h), so any name comes back unchanged.
std::u16string DecodeFileName(std::string_view bytes);
std::string EncodeFileName(std::u16string_view name);

// For showing a name to the user: escape units become "\xNN".
std::u16string ReadableName(std::u16string_view name);

} // namespace platform
