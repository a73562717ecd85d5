#include "platform/SystemProfile.h"

#include "platform/windows/Win32.h"

namespace platform {

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

} // namespace

std::u16string ReadSystemProfile(
    std::u16string_view file, std::u16string_view section, std::u16string_view key)
{
    const std::wstring path = Wide(file);
    const std::wstring sectionName = Wide(section);
    const std::wstring keyName = Wide(key);
    // The function cuts a value to the buffer it is given and says so only by filling it.
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringW(sectionName.c_str(), keyName.c_str(), L"",
            value.data(), static_cast<DWORD>(value.size()), path.c_str());
        if (n + 1 < value.size()) {
            return std::u16string(value.begin(), value.begin() + n);
        }
        value.resize(value.size() * 2);
    }
}

bool WriteSystemProfile(std::u16string_view file, std::u16string_view section,
    std::u16string_view key, std::u16string_view value)
{
    return ::WritePrivateProfileStringW(
               Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(), Wide(file).c_str())
        != 0;
}

} // namespace platform
