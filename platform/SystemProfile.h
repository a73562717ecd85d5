#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace platform {

// The system's own settings-file functions, where the system has them: one entry read (whole, of
// any length; empty when missing) or written. Windows decides the file's encoding and layout.
std::u16string ReadSystemProfile(
    std::u16string_view file, std::u16string_view section, std::u16string_view key);
bool WriteSystemProfile(std::u16string_view file, std::u16string_view section,
    std::u16string_view key, std::u16string_view value);

} // namespace platform

#endif
