#include "common/Profile.h"

#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "platform/SysCalls.h"
#include "tests/support/SysCallsGuard.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;
using common::PathStyle;

class ProfileTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(m_folder, fs::perms::owner_all, fs::perm_options::add, ignored);
    }

    std::u16string IniPath() const { return platform::DecodeFileName(m_ini.string()); }

    void Store(const std::string& bytes) const { std::ofstream(m_ini, std::ios::binary) << bytes; }

    std::string Stored() const
    {
        std::ifstream in(m_ini, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::size_t FilesInFolder() const
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()));
    }

    testing_support::TempTree m_tree;
    fs::path m_folder = m_tree.Root();
    fs::path m_ini = m_tree.Path("vandor.ini");
};

std::string Cp932(std::u16string_view text) { return platform::EncodeCp932(text); }

TEST_F(ProfileTest, ReadsEntries)
{
    const std::string a199(199, 'a');
    const struct {
        const char* what;
        std::string file;
        const char16_t* key;
        bool lowerCase;
        PathStyle style;
        std::u16string expected;
    } cases[] = {
        { "plain", "[file]\r\norg=c:\\src\r\n", u"org", true, PathStyle::Windows, u"c:\\src" },
        { "names without regard to case", "[FILE]\r\nOrg=x\r\n", u"oRG", true, PathStyle::Posix,
            u"x" },
        { "spaces and tabs around names and values", " [ file ]\t\r\n\t org \t=\t  C:\\Src \t\r\n",
            u"org", true, PathStyle::Windows, u"c:\\src" },
        { "capitals kept on posix", "[file]\r\norg=  /Src/Forms  \r\n", u"org", true,
            PathStyle::Posix, u"/Src/Forms" },
        { "capitals kept without the switch", "[file]\r\norg=C:\\Src\r\n", u"org", false,
            PathStyle::Windows, u"C:\\Src" },
        { "one pair of double quotes", "[file]\r\norg=\"  A b  \"\r\n", u"org", false,
            PathStyle::Posix, u"A b" },
        { "one pair of single quotes", "[file]\r\norg=''x''\r\n", u"org", false, PathStyle::Posix,
            u"'x'" },
        { "quotes that do not match", "[file]\r\norg=\"x'\r\n", u"org", false, PathStyle::Posix,
            u"\"x'" },
        { "comment lines", "[file]\r\n;org=old\r\norg=new\r\n", u"org", false, PathStyle::Posix,
            u"new" },
        { "key of another section", "[other]\r\norg=no\r\n[file]\r\nnew=x\r\n", u"org", false,
            PathStyle::Posix, u"" },
        { "first key of the name", "[file]\r\norg=1\r\norg=2\r\n", u"org", false, PathStyle::Posix,
            u"1" },
        { "key before any section", "org=no\r\n[file]\r\n", u"org", false, PathStyle::Posix, u"" },
        { "lone CR line ends", "[x]\rorg=1\r[file]\rorg=2\r", u"org", false, PathStyle::Posix,
            u"2" },
        { "lone LF line ends", "[x]\norg=1\n[file]\norg=2", u"org", false, PathStyle::Posix, u"2" },
        { "empty value", "[file]\r\norg=\r\n", u"org", true, PathStyle::Posix, u"" },
        { "199 characters whole", "[file]\r\norg=" + a199 + "\r\n", u"org", true, PathStyle::Posix,
            std::u16string(199, u'a') },
        { "values of any length read whole", "[file]\r\norg=" + a199 + "b" + a199 + "\r\n", u"org",
            true, PathStyle::Posix, std::u16string(199, u'a') + u"b" + std::u16string(199, u'a') },
        { "UTF-8 file", "[file]\r\nrep=/定義/ルール.txt\r\n", u"rep", true, PathStyle::Posix,
            u"/定義/ルール.txt" },
        { "CP932 file written on Windows", Cp932(u"[file]\r\nrep=C:\\定義\\ルール.TXT\r\n"), u"rep",
            true, PathStyle::Windows, u"c:\\定義\\ルール.txt" },
        { "UTF-8 byte order mark", "\xEF\xBB\xBF[file]\r\norg=x\r\n", u"org", true,
            PathStyle::Posix, u"x" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        Store(c.file);
        EXPECT_EQ(
            common::ReadProfileString(IniPath(), u"file", c.key, c.lowerCase, c.style), c.expected)
            << c.what;
    }
}

TEST_F(ProfileTest, ReadingAMissingFileGivesEmptyAndCreatesNothing)
{
    EXPECT_EQ(common::ReadProfileString(IniPath(), u"file", u"org", true), u"");
    EXPECT_FALSE(fs::exists(m_ini));
}

TEST_F(ProfileTest, WritesEntries)
{
    const struct {
        const char* what;
        std::string before; // empty: no file
        const char16_t* key;
        std::u16string value;
        std::string after;
    } cases[] = {
        { "new file", "", u"org", u"/src", "[file]\r\norg=/src\r\n" },
        { "value exactly as given", "", u"org", u"  C:\\Src  ", "[file]\r\norg=  C:\\Src  \r\n" },
        { "empty value", "", u"new", u"", "[file]\r\nnew=\r\n" },
        { "existing key, other lines kept",
            "; settings\n[file]\norg=old\nnew=x\n[other]\n  odd line\nk = v", u"org", u"/a",
            "; settings\r\n[file]\r\norg=/a\r\nnew=x\r\n[other]\r\n  odd line\r\nk = v\r\n" },
        { "existing key found without regard to case", "[FILE]\r\n ORG = old\r\n", u"org", u"v",
            "[FILE]\r\nORG=v\r\n" },
        { "new key after the last key of its section",
            "[file]\r\norg=a\r\n;tail\r\n\r\n[other]\r\nk=v\r\n", u"rep", u"r",
            "[file]\r\norg=a\r\nrep=r\r\n;tail\r\n\r\n[other]\r\nk=v\r\n" },
        { "new key in an empty section", "[file]\r\n[other]\r\n", u"rep", u"r",
            "[file]\r\nrep=r\r\n[other]\r\n" },
        { "new section at the end", "[other]\r\nk=v", u"org", u"o",
            "[other]\r\nk=v\r\n[file]\r\norg=o\r\n" },
        { "CP932 file stays CP932", Cp932(u"[表示]\r\n名前=値\r\n[file]\r\norg=a\r\n"), u"org",
            u"/ソース", Cp932(u"[表示]\r\n名前=値\r\n[file]\r\norg=/ソース\r\n") },
        { "UTF-8 file stays UTF-8", "[表示]\r\n名前=値\r\n", u"org", u"/ソース",
            "[表示]\r\n名前=値\r\n[file]\r\norg=/ソース\r\n" },
        // 0x8790 and 0x81E0 both code "≒"; a kept line keeps the code it was written in.
        { "kept CP932 lines keep their bytes", "[x]\r\nk=\x87\x90\r\n[file]\r\norg=\x82\xa0\r\n",
            u"org", u"b", "[x]\r\nk=\x87\x90\r\n[file]\r\norg=b\r\n" },
        // In CP932 "ﾐ㎏" is D0 87 73, valid UTF-8: kept in CP932, the file would read as UTF-8.
        { "CP932 that would read as UTF-8 goes to UTF-8",
            "[x]\r\nk=\xD0\x87s\r\n[file]\r\norg=\x82\xa0\r\n", u"org", u"b",
            "[x]\r\nk=ﾐ㎏\r\n[file]\r\norg=b\r\n" },
        { "a value that would make CP932 read as UTF-8", Cp932(u"[file]\r\norg=あ\r\n"), u"org",
            u"ﾐ㎏", "[file]\r\norg=ﾐ㎏\r\n" },
        // A name in an older code page (Latin-1 "été") is no UTF-8: the mark keeps the file UTF-8.
        { "UTF-8 with bytes that are not", "[file]\r\norg=a\r\n", u"org",
            platform::DecodeFileName("/\xE9t\xE9"), "\xEF\xBB\xBF[file]\r\norg=/\xE9t\xE9\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        std::error_code ignored;
        fs::remove(m_ini, ignored);
        if (!c.before.empty()) {
            Store(c.before);
        }
        EXPECT_TRUE(common::WriteProfileString(IniPath(), u"file", c.key, c.value)) << c.what;
        EXPECT_EQ(Stored(), c.after) << c.what;
        EXPECT_EQ(FilesInFolder(), 1u) << c.what;
    }
}

TEST_F(ProfileTest, ValuesReadBackAsWritten)
{
    const std::u16string values[] = { u"", u"/src/Forms/*.*", u"d:\\出力\\",
        std::u16string(199, u'x'), platform::DecodeFileName("/\xE9t\xE9") };
    for (const auto& value : values) {
        ASSERT_TRUE(common::WriteProfileString(IniPath(), u"file", u"org", value));
        EXPECT_EQ(
            common::ReadProfileString(IniPath(), u"file", u"org", true, PathStyle::Posix), value);
    }
    // The Windows profile functions read CP932; our rewrite must keep a file they can read.
    Store(Cp932(u"[file]\r\norg=c:\\ソース\r\n"));
    ASSERT_TRUE(common::WriteProfileString(IniPath(), u"file", u"rep", u"c:\\定義.txt"));
    EXPECT_EQ(platform::DecodeCp932(Stored()), u"[file]\r\norg=c:\\ソース\r\nrep=c:\\定義.txt\r\n");
}

TEST_F(ProfileTest, FailedWritesLeaveTheFileAsItWas)
{
    const std::string before = "[file]\r\norg=keep\r\n";

    // A write that fails half-way, as on a full disk.
    Store(before);
    {
        testing_support::SysCallsGuard calls;
        calls->write = [](int, const void*, std::size_t) -> ssize_t {
            errno = ENOSPC;
            return -1;
        };
        EXPECT_FALSE(common::WriteProfileString(IniPath(), u"file", u"org", u"lost"));
    }
    EXPECT_EQ(Stored(), before);
    EXPECT_EQ(FilesInFolder(), 1u);

    // A folder that does not exist.
    const auto missing = platform::DecodeFileName((m_folder / "gone" / "vandor.ini").string());
    EXPECT_FALSE(common::WriteProfileString(missing, u"file", u"org", u"x"));

    if (::geteuid() != 0) {
        // A read-only settings file, and a folder we may not write into.
        fs::permissions(m_ini, fs::perms::owner_read, fs::perm_options::replace);
        EXPECT_FALSE(common::WriteProfileString(IniPath(), u"file", u"org", u"x"));
        EXPECT_EQ(Stored(), before);
        fs::permissions(
            m_ini, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
        fs::permissions(
            m_folder, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
        EXPECT_FALSE(common::WriteProfileString(IniPath(), u"file", u"org", u"x"));
        EXPECT_EQ(Stored(), before);
    }
}

// A save killed half-way leaves its temporary; the next save removes it once its writer is gone.
TEST_F(ProfileTest, TheNextSaveRemovesATemporaryWhoseWriterIsGone)
{
    const pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    const fs::path leftOver = m_folder / (".vandor-tmp-" + std::to_string(gone) + "-0");
    const fs::path living = m_folder / ".vandor-tmp-1-0"; // the first process never ends
    std::ofstream(leftOver) << "[file]\r\norg=half";
    std::ofstream(living) << "in use";
    ASSERT_TRUE(common::WriteProfileString(IniPath(), u"file", u"org", u"x"));
    EXPECT_FALSE(fs::exists(leftOver));
    EXPECT_TRUE(fs::exists(living));
    EXPECT_EQ(Stored(), "[file]\r\norg=x\r\n");
}

TEST_F(ProfileTest, ALinkedSettingsFileStaysALink)
{
    const fs::path real = m_folder / "real.ini";
    std::ofstream(real, std::ios::binary) << "[file]\r\norg=a\r\n";
    fs::create_symlink(real, m_ini);
    ASSERT_TRUE(common::WriteProfileString(IniPath(), u"file", u"org", u"b"));
    EXPECT_TRUE(fs::is_symlink(m_ini));
    EXPECT_EQ(Stored(), "[file]\r\norg=b\r\n");
}

} // namespace
