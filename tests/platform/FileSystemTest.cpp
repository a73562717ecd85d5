#include "platform/FileSystem.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>

using testing_support::Native;
using testing_support::TempTree;

namespace {

TEST(Wildcard, MatchesWithoutRegardToCase)
{
    struct Case {
        std::u16string pattern, name;
        bool match;
    };
    const Case cases[] = {
        { u"", u"anything", true },
        { u"*.*", u"noextension", true },
        { u"*.frm", u"Form1.FRM", true },
        { u"*.frm", u"form1.frx", false },
        { u"form?.frm", u"form1.frm", true },
        { u"form?.frm", u"form12.frm", false },
        { u"proj", u"PROJ", true },
        { u"proj", u"proj2", false },
        { u"*a*b*c", u"xxaxxbxxbxc", true },
        { u"*", u"", true },
        { u"ＡＢ*", u"ａｂｃ", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::Utf8(c.pattern) + " / " + testing_support::Utf8(c.name));
        EXPECT_EQ(platform::WildcardMatch(c.pattern, c.name), c.match);
        // The pattern that the lister uses agrees, on names in the system's own form.
        EXPECT_EQ(platform::NamePattern(c.pattern).Matches(platform::NativePath::FromText(c.name)),
            c.match);
    }
}

std::vector<std::u16string> List(const std::filesystem::path& folder, const std::u16string& pattern)
{
    const platform::NamePattern selects(pattern);
    platform::FileLister lister(Native(folder, true), selects);
    std::vector<std::u16string> names;
    platform::NativePath name;
    while (lister.Next(name)) {
        names.push_back(name.Text());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileLister, ListsPlainFilesThePatternSelects)
{
    TempTree tree;
    tree.Write("a.frm", "");
    tree.Write("B.FRM", "");
    tree.Write("c.bas", "");
    tree.Write(".hidden.frm", "");
    tree.Hide(".hidden.frm");
    tree.MakeFolder("sub.frm");
    const bool links = tree.Link("c.bas", "link.frm") && tree.Link("sub.frm", "dirlink.frm")
        && tree.Link("missing", "dangling.frm");
    std::vector<std::u16string> selected { u"B.FRM", u"a.frm" };
    if (links) {
        selected.push_back(u"link.frm");
    }
    EXPECT_EQ(List(tree.Root(), u"*.frm"), selected);
    EXPECT_EQ(List(tree.Root(), u"*.*").size(), selected.size() + 1);
    EXPECT_EQ(List(tree.Root(), u"").size(), selected.size() + 1);
    EXPECT_TRUE(List(tree.Path("nowhere"), u"").empty());
}

TEST(FileSystemObject, GivesEverySubfolderAndFailsForAMissingFolder)
{
    TempTree tree;
    tree.MakeFolder("top/one");
    tree.MakeFolder("top/.hidden");
    tree.Write("top/file", "");
    if (!tree.Link("top", "top/loop")) {
        GTEST_SKIP() << "this system makes no links";
    }
    auto fso = platform::CreateFileSystemObject();
    const auto folder = fso->GetFolder(Native(tree.Path("top"), true));
    ASSERT_TRUE(folder);
    std::vector<std::u16string> names;
    for (const auto& sub : folder->subFolders) {
        names.push_back(sub.Name.Text());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string> { u".hidden", u"loop", u"one" }));
    const auto loop = std::find_if(folder->subFolders.begin(), folder->subFolders.end(),
        [](const auto& sub) { return sub.Name.Text() == u"loop"; });
    EXPECT_EQ(loop->id, folder->id);
    EXPECT_FALSE(fso->GetFolder(Native(tree.Path("absent"), true)));
    EXPECT_FALSE(fso->GetFolder(Native(tree.Path("top/file"), true)));
}

TEST(CopySlot, TellsWhatMayBeOverwritten)
{
    TempTree tree;
    tree.Write("plain", "x");
    const auto readOnly = tree.Write("readonly", "x");
    std::filesystem::permissions(
        readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    const bool link = tree.Link("plain", "link");
    tree.MakeFolder("folder");
    EXPECT_EQ(platform::InspectCopySlot(Native(tree.Path("plain"))), platform::CopySlot::Writable);
    EXPECT_EQ(platform::InspectCopySlot(Native(tree.Path("none"))), platform::CopySlot::Missing);
    EXPECT_EQ(platform::InspectCopySlot(Native(readOnly)), platform::CopySlot::InTheWay);
    if (link) {
        EXPECT_EQ(
            platform::InspectCopySlot(Native(tree.Path("link"))), platform::CopySlot::InTheWay);
    }
    EXPECT_EQ(platform::InspectCopySlot(Native(tree.Path("folder"))), platform::CopySlot::InTheWay);
}

} // namespace
