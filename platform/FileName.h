#pragma once

#include <string>
#include <string_view>

namespace platform {

// Linux names are bytes. They travel through the program as UTF-16, with every byte that is not
// part of valid UTF-8 carried as an escape unit (see Cp932.h), so any name comes back unchanged.
std::u16string DecodeFileName(std::string_view bytes);
std::string EncodeFileName(std::u16string_view name);

// For showing a name to the user: escape units become "\xNN".
std::u16string ReadableName(std::u16string_view name);

} // namespace platform
