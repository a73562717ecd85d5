#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The program's resources, read from the program itself.
std::wstring ProgramPath() { return VANDOR_EXECUTABLE; }

TEST(Resources, TheVersionIsTheProjectsAndTheNameJapanese)
{
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty()) << "no version resource in the program";
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));

    struct Case {
        const wchar_t* name;
        std::wstring value;
    };
    // The resource script is UTF-8: read in any other code page the name comes out garbled.
    const Case cases[] = {
        { L"ProductName", L"ヴァンドール" },
        { L"FileDescription", L"ヴァンドール" },
        { L"ProductVersion", L"" VANDOR_VERSION },
        { L"FileVersion", L"" VANDOR_VERSION },
        { L"OriginalFilename", L"vandor.exe" },
    };
    for (const Case& c : cases) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + c.name;
        void* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), key.c_str(), &value, &length)) << c.name;
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), c.value) << c.name;
    }

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(VANDOR_VERSION_MINOR, VANDOR_VERSION_MAJOR));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(VANDOR_VERSION_MINOR, VANDOR_VERSION_MAJOR));
}

} // namespace
