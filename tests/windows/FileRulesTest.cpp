// The rules that only Windows has: file attributes, drive letters and case, junctions, the
// read-only attribute, paths beyond MAX_PATH and the system's profile functions.
#include "common/Paths.h"
#include "common/Profile.h"
#include "engine/Messages.h"
#include "engine/RunCommand.h"
#include "platform/FieldReader.h"
#include "platform/FileSystem.h"
#include "platform/windows/Win32.h"
#include "tests/engine/FakeWindow.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

// The system's macro would rename our own function here.
#undef WriteProfileString

#include <algorithm>
#include <string>
#include <vector>

namespace {

using testing_support::Native;
using testing_support::ReadBytes;
using testing_support::Snapshot;
using testing_support::TempTree;
using testing_support::U16;
namespace messages = engine::messages;

struct WindowsRun : ::testing::Test {
    TempTree tree;
    FakeWindow window;

    void SetUp() override
    {
        tree.Write("org/proj/a.frm", "Dim Old\r\n");
        tree.Write("rules.txt", "old,new\r\n");
        tree.MakeFolder("new");
        window.boxes[0] = U16(tree.Path("org/proj"), true);
        window.boxes[1] = U16(tree.Path("new"), true);
        window.boxes[2] = U16(tree.Path("rules.txt"));
    }
    void Start() { engine::RunReplace(window, common::PathStyle::Windows); }
};

void SetAttribute(const std::filesystem::path& path, DWORD attribute)
{
    const std::wstring name = std::filesystem::path(path).make_preferred().wstring();
    ASSERT_TRUE(SetFileAttributesW(name.c_str(), GetFileAttributesW(name.c_str()) | attribute));
}

// Hidden and system files are left out; folders of every attribute are walked.
TEST_F(WindowsRun, AttributesDecideWhichFilesAreReadButEveryFolderIsWalked)
{
    tree.Write("org/proj/hidden.frm", "old\r\n");
    tree.Write("org/proj/system.frm", "old\r\n");
    tree.Write("org/proj/secret/b.frm", "old\r\n");
    SetAttribute(tree.Path("org/proj/hidden.frm"), FILE_ATTRIBUTE_HIDDEN);
    SetAttribute(tree.Path("org/proj/system.frm"), FILE_ATTRIBUTE_SYSTEM);
    SetAttribute(tree.Path("org/proj/secret"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    Start();
    EXPECT_EQ(window.LastCaption(), messages::Finished);
    EXPECT_EQ(Snapshot(tree.Path("new")),
        (std::map<std::string, std::string> { { "proj/", "" }, { "proj/a.frm", "Dim new\r\n" },
            { "proj/secret/", "" }, { "proj/secret/b.frm", "new\r\n" } }));
}

// Paths are compared without regard to case: NEW spelt in capitals is still the ORG folder.
TEST_F(WindowsRun, TheOverlapIsFoundWhateverTheCase)
{
    std::u16string upper = U16(tree.Path("org"), true);
    std::transform(upper.begin(), upper.end(), upper.begin(),
        [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; });
    window.boxes[1] = upper;
    Start();
    EXPECT_EQ(window.LastCaption().substr(
                  0, std::char_traits<char16_t>::length(messages::FoldersOverlap)),
        messages::FoldersOverlap);
    EXPECT_FALSE(std::filesystem::exists(tree.Path("org/proj/proj")));
}

// A copy whose old copy has the read-only attribute is not written; the run says so.
TEST_F(WindowsRun, AReadOnlyCopyIsLeftAsItIsAndReported)
{
    tree.Write("new/proj/a.frm", "mine\r\n");
    SetAttribute(tree.Path("new/proj/a.frm"), FILE_ATTRIBUTE_READONLY);
    Start();
    EXPECT_EQ(window.LastCaption(),
        messages::FilesNotHandled + (u"\n" + U16(tree.Path("org/proj/a.frm"))));
    EXPECT_EQ(ReadBytes(tree.Path("new/proj/a.frm")), "mine\r\n");
}

// A junction back to an upper folder is walked once and never again on its own descent.
TEST_F(WindowsRun, AJunctionThatClosesACycleEndsTheWalk)
{
    if (!tree.Link("org/proj", "org/proj/loop")) {
        GTEST_SKIP() << "this system makes no junctions";
    }
    Start();
    EXPECT_EQ(window.LastCaption(), messages::Finished);
    EXPECT_EQ(ReadBytes(tree.Path("new/proj/a.frm")), "Dim new\r\n");
    EXPECT_FALSE(std::filesystem::exists(tree.Path("new/proj/loop/loop")));
}

// Folders nested past MAX_PATH are read and mirrored through the \\?\ form.
TEST_F(WindowsRun, PathsLongerThanMaxPathAreWalkedAndWritten)
{
    std::string deep = "org/proj";
    while (deep.size() < 320) {
        deep += "/level-of-a-deep-tree";
    }
    const std::wstring folder = platform::windows::LongPath(Native(tree.Path(deep), true));
    for (std::size_t at = folder.find(L'\\', 8); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1)) {
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    const std::wstring file = folder + L"deep.frm";
    const HANDLE handle = CreateFileW(
        file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(handle, "old\r\n", 5, &written, nullptr);
    CloseHandle(handle);
    Start();
    EXPECT_EQ(window.LastCaption(), messages::Finished);
    const platform::NativePath copy = Native(tree.Path("new/proj" + deep.substr(8) + "/deep.frm"));
    EXPECT_GT(copy.Size(), static_cast<std::size_t>(MAX_PATH));
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(copy, bytes), platform::ReadResult::Ok);
    EXPECT_EQ(bytes, "new\r\n");
}

TEST(ExtendedLength, DrivesAndSharesTakeTheirOwnPrefix)
{
    const struct {
        const wchar_t* full;
        const wchar_t* extended;
    } cases[] = {
        { L"c:\\src\\a.frm", L"\\\\?\\c:\\src\\a.frm" },
        { L"\\\\server\\share\\src\\", L"\\\\?\\UNC\\server\\share\\src\\" },
        { L"\\\\?\\c:\\src", L"\\\\?\\c:\\src" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::windows::ExtendedLength(c.full), c.extended);
    }
}

// The settings file belongs to the system's profile functions: what they wrote is read back,
// lower-cased where asked and of any length, and what we write they read.
TEST(Profile, TheSystemsProfileFunctionsAndOursAgree)
{
    TempTree tree;
    const std::u16string ini = U16(tree.Path("vandor.ini"));
    const std::wstring wide(ini.begin(), ini.end());
    const std::wstring longValue = L"C:\\Src\\" + std::wstring(600, L'x');
    ASSERT_TRUE(WritePrivateProfileStringW(L"file", L"org", L"D:\\Src\\Forms", wide.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"file", L"new", longValue.c_str(), wide.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"file", L"rep", L"E:\\ルール.txt", wide.c_str()));
    EXPECT_EQ(common::ReadProfileString(ini, u"file", u"org", true), u"d:\\src\\forms");
    EXPECT_EQ(common::ReadProfileString(ini, u"file", u"org", false), u"D:\\Src\\Forms");
    const std::u16string longRead = common::ReadProfileString(ini, u"file", u"new", false);
    EXPECT_EQ(std::wstring(longRead.begin(), longRead.end()), longValue);
    EXPECT_EQ(common::ReadProfileString(ini, u"file", u"rep", false), u"E:\\ルール.txt");
    EXPECT_EQ(common::ReadProfileString(ini, u"file", u"none", false), u"");

    ASSERT_TRUE(common::WriteProfileString(ini, u"file", u"org", u"F:\\新しい"));
    wchar_t value[64] = {};
    GetPrivateProfileStringW(L"file", L"org", L"", value, 64, wide.c_str());
    EXPECT_EQ(std::wstring(value), L"F:\\新しい");
    EXPECT_EQ(common::ReadProfileString(ini, u"file", u"rep", false), u"E:\\ルール.txt");
}

// The working folder is a drive root: its settings path has two backslashes, and the profile
// functions take it for the file in the root.
TEST(Profile, ADriveRootKeepsItsSettingsInTheRoot)
{
    const std::u16string ini
        = common::NormalizePath(u"C:\\", common::PathStyle::Windows) + u"vandor.ini";
    EXPECT_EQ(ini, u"c:\\\\vandor.ini");
    const std::filesystem::path root = L"c:\\vandor.ini";
    std::filesystem::remove(root);
    ASSERT_TRUE(common::WriteProfileString(ini, u"file", u"org", u"c:\\src\\"));
    EXPECT_TRUE(std::filesystem::exists(root));
    EXPECT_EQ(common::ReadProfileString(ini, u"file", u"org", true), u"c:\\src\\");
    std::filesystem::remove(root);
}

} // namespace
