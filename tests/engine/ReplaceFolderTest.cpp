#include "engine/ReplaceFolder.h"
#include "engine/LoadDefinition.h"
#include "engine/Messages.h"
#include "tests/engine/FakeWindow.h"
#include "tests/support/Rewriting.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>

using testing_support::ReadBytes;
using testing_support::Sjis;
using testing_support::Snapshot;
using testing_support::TempTree;
using testing_support::U16;
using Tree = std::map<std::string, std::string>;

namespace {

// ORG tree under work/proj, NEW folder out; pair "old" -> "new".
struct Walk : ::testing::Test {
    TempTree tree;
    FakeWindow window;
    engine::PairTable pairs
        = testing_support::MakePairTable({ { u"old", u"new" }, { u"古い", u"新しい" } });
    std::unique_ptr<platform::FileSystemObject> fso = platform::CreateFileSystemObject();

    void SetUp() override { tree.MakeFolder("out"); }

    // Returns the first file that could not be handled whole.
    std::u16string Run(const std::u16string& folderPath, bool mark = false)
    {
        engine::RunReport report;
        return engine::ReplaceFolder(folderPath, U16(tree.Path("out"), true), *fso, mark, pairs,
            window, report, common::NativePathStyle());
    }
    std::u16string Org(std::string_view tail = "")
    {
        return U16(tree.Path("work/proj"), true) + U16(tail);
    }
    Tree Out() { return Snapshot(tree.Path("out")); }
};

TEST_F(Walk, MirrorsOnlyChangedFilesIntoAFolderNamedLikeTheOrgFolder)
{
    tree.Write("work/proj/a.frm", "Dim OLD\r\nx\r\n");
    tree.Write("work/proj/b.bas", "same\r\n");
    tree.Write("work/proj/forms/c.frm", Sjis(u"' 古いコメント\r\n"));
    tree.Write("work/proj/forms/d.frm", "keep\r\n");
    tree.Write("work/proj/quiet/e.frm", "keep\r\n");
    tree.Write("work/proj/empty.frm", "");
    Run(Org());
    EXPECT_EQ(Out(),
        (Tree { { "proj/", "" }, { "proj/a.frm", "Dim new\r\nx\r\n" }, { "proj/forms/", "" },
            { "proj/forms/c.frm", Sjis(u"' 新しいコメント\r\n") } }));
}

TEST_F(Walk, StatusNamesEachFileThenEachSubfolder)
{
    tree.Write("work/proj/a.frm", "old\r\n");
    tree.Write("work/proj/sub/b.frm", "old\r\n");
    Run(Org());
    EXPECT_EQ(window.captions,
        (std::vector<std::u16string> {
            u"リプレース中...  a.frm", u"リプレース中...  sub", u"リプレース中...  b.frm" }));
    EXPECT_EQ(window.eventRounds, 3);
}

TEST_F(Walk, PatternSelectsFilesOnEveryLevel)
{
    for (const char* name :
        { "a.frm", "a.bas", "main.frm", "s/b.FRM", "s/b.bas", "s/main.frm", "s/t/main.frm" }) {
        tree.Write(std::string("work/proj/") + name, "old\r\n");
    }
    Run(Org("*.frm"));
    EXPECT_EQ(Out(),
        (Tree { { "proj/", "" }, { "proj/a.frm", "new\r\n" }, { "proj/main.frm", "new\r\n" },
            { "proj/s/", "" }, { "proj/s/b.FRM", "new\r\n" }, { "proj/s/main.frm", "new\r\n" },
            { "proj/s/t/", "" }, { "proj/s/t/main.frm", "new\r\n" } }));
    std::filesystem::remove_all(tree.Path("out/proj"));
    Run(Org("main.frm"));
    EXPECT_EQ(Out().size(), 6u);
    EXPECT_TRUE(Out().count("proj/s/t/main.frm"));
    EXPECT_FALSE(Out().count("proj/a.frm"));
}

TEST_F(Walk, PathWithoutFinalSeparatorIsTheParentWithAFileNamePattern)
{
    // "work/proj" selects files named proj in work and below, and writes into a folder "work".
    tree.Write("work/proj", "old\r\n");
    tree.Write("work/other/proj", "old\r\n");
    tree.Write("work/other/x.frm", "old\r\n");
    Run(U16(tree.Path("work/proj")));
    EXPECT_EQ(Out(),
        (Tree { { "work/", "" }, { "work/proj", "new\r\n" }, { "work/other/", "" },
            { "work/other/proj", "new\r\n" } }));
}

TEST_F(Walk, HiddenFilesSkippedHiddenFoldersWalkedSubfoldersOnlyWhenTicked)
{
    tree.Write("work/proj/.hidden.frm", "old\r\n");
    tree.Hide("work/proj/.hidden.frm");
    tree.Write("work/proj/.cache/x.frm", "old\r\n");
    tree.Write("work/proj/top.frm", "old\r\n");
    // Version-control folders hold pristine copies of the files: never walked.
    for (const char* folder : { ".git", ".svn", "_svn", ".hg", ".bzr", "CVS" }) {
        tree.Write("work/proj/" + std::string(folder) + "/y.frm", "old\r\n");
    }
    Run(Org());
    EXPECT_EQ(Out(),
        (Tree { { "proj/", "" }, { "proj/.cache/", "" }, { "proj/.cache/x.frm", "new\r\n" },
            { "proj/top.frm", "new\r\n" } }));
    std::filesystem::remove_all(tree.Path("out/proj"));
    window.check1 = 2; // greyed counts as not ticked
    Run(Org());
    EXPECT_EQ(Out(), (Tree { { "proj/", "" }, { "proj/top.frm", "new\r\n" } }));
}

TEST_F(Walk, LineEndsBecomeCrLfAndLoneLfStaysInsideTheLine)
{
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        { "old\rkeep\r", "new\r\nkeep\r\n" },
        { "keep\rold", "keep\r\nnew\r\n" },
        { "keep\r\nlast\rold", "keep\r\nlast\r\nnew\r\n" },
        { "old\nkeep\n", "new\nkeep\n\r\n" },
        { "keep\n\r\nold\r\nno end", "keep\n\r\nnew\r\nno end\r\n" },
        { "keep\r\r\nold\r\n\r\n", "keep\r\n\r\nnew\r\n\r\n" },
        { "old\r\n\n", "new\r\n\n\r\n" },
        { "\x82\xa0old\r\n\x81\r\n", "\x82\xa0new\r\n\x81\r\n" },
        { "\r\n\r\nold", "\r\n\r\nnew\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        tree.Write("work/proj/f.txt", c.in);
        Run(Org());
        EXPECT_EQ(ReadBytes(tree.Path("out/proj/f.txt")), c.out);
    }
}

TEST_F(Walk, RerunDeletesStaleCopiesAndLeavesUnrelatedFilesAlone)
{
    tree.Write("work/proj/a.frm", "old\r\n");
    tree.Write("work/proj/b.frm", "old\r\n");
    Run(Org());
    tree.Write("out/proj/mine.txt", "unrelated");
    tree.Write("work/proj/b.frm", "fixed\r\n");
    Run(Org());
    EXPECT_EQ(Out(),
        (Tree { { "proj/", "" }, { "proj/a.frm", "new\r\n" }, { "proj/mine.txt", "unrelated" } }));
}

TEST_F(Walk, PathWithASingleSeparatorDoesNothing)
{
    Run(u"/");
    Run(u"/nothing-here");
    EXPECT_EQ(Out(), Tree {});
    EXPECT_TRUE(window.captions.empty());
}

TEST_F(Walk, MarkLineBeforeEveryChangedLine)
{
    tree.Write("work/proj/a.frm", "old\r\nold\r\nx\r\n");
    Run(Org(), true);
    const std::string mark = engine::ModificationMark() + "\r\n";
    EXPECT_EQ(ReadBytes(tree.Path("out/proj/a.frm")), mark + "new\r\n" + mark + "new\r\nx\r\n");
}

TEST_F(Walk, LargeFileStreamsThroughWithTheSameResult)
{
    std::string in, out;
    for (int i = 0; i < 60000; ++i) {
        const std::string line = i % 997 == 0
            ? "x = OLD + " + std::to_string(i)
            : "line " + std::to_string(i) + " " + std::string(40, 'k');
        in += line + (i % 5 ? "\r\n" : "\r");
        std::string rewritten = line;
        if (const auto at = rewritten.find("OLD"); at != std::string::npos) {
            rewritten.replace(at, 3, "new");
        }
        out += rewritten + "\r\n";
    }
    tree.Write("work/proj/big.bas", in);
    Run(Org());
    EXPECT_EQ(ReadBytes(tree.Path("out/proj/big.bas")), out);
}

} // namespace

// Copies of the shapes that are easy to get wrong: files that the pairs empty entirely (a copy of
// zero bytes, or of mark lines only), changed lines around every block, buffer and slot size of
// the reader and the writer, and files whose last bytes begin a UTF-8 character they then lack
// (CP932, as a character cut off makes a file no UTF-8). Each file is read ahead and by the walk.
TEST(Copies, EveryShapeIsWrittenWhole)
{
    const std::string mark = engine::ModificationMark() + "\r\n";
    const std::string bom = "\xEF\xBB\xBF";
    const std::string value = "\x92\x6c"; // 値 in CP932
    struct Row {
        std::string name;
        std::string in;
        std::vector<std::pair<std::string, std::string>> pairs;
        bool mark;
        std::string out;
        std::string staleCopy = {};
    };
    std::vector<Row> rows = {
        { "emptied", "abc\r\n", { { "abc", "" } }, false, "" },
        { "emptied twice", "abc\r\nabc\r\n", { { "abc", "" } }, false, "" },
        { "emptied by two hits", "abcabc\r\n", { { "abc", "" } }, false, "" },
        { "emptied, lone CR", Sjis(u"ＴＯＤＯ\r"), { { Sjis(u"ＴＯＤＯ"), "" } }, false, "" },
        { "emptied, no line end", "abc", { { "abc", "" } }, false, "" },
        { "emptied over a stale copy", "abc\r\n", { { "abc", "" } }, false, "", "stale" },
        { "emptied, marked", "abc\r\nabc\r\n", { { "abc", "" } }, true, mark + mark },
        { "a line keeps text", "abc\r\nx\r\n", { { "abc", "" } }, false, "x\r\n" },
        { "cut after two of three", "x\xE3\x81", { { "x", value } }, false,
            value + "\xE3\x81\r\n" },
        { "cut after one of four", "x\xF0", { { "x", value } }, false, value + "\xF0\r\n" },
        { "cut after two of four", "x\xF0\x9F", { { "x", value } }, false, value + "\xF0\x9F\r\n" },
        { "cut after three of four", "x\xF0\x9F\x98", { { "x", value } }, false,
            value + "\xF0\x9F\x98\r\n" },
        { "cut after UTF-8", "\xC3\xA9\r\nx\xE3\x81", { { "x", value } }, false,
            "\xC3\xA9\r\n" + value + "\xE3\x81\r\n" },
        { "cut, then a line end", "x\xE3\x81\r\n", { { "x", value } }, false,
            value + "\xE3\x81\r\n" },
        // With the UTF-8 mark a byte that is not UTF-8 matches that byte of a search text.
        { "not UTF-8 after the mark",
            bom
                + "a\xFF"
                  "b\r\n",
            { { "\xFF", "z" } }, false, bom + "azb\r\n" },
    };
    for (const std::size_t n : { 511, 512, 65535, 65536, 65537, 262100, 262143, 262144, 262145,
             262200, 500000, 1000000, 1048575, 1048576, 1048577, 1048600, 5000000 }) {
        const std::string xs(n, 'x');
        rows.push_back({ "line of " + std::to_string(n), xs + " CustomerID\r\n",
            { { "customerid", "ClientID" } }, false, xs + " ClientID\r\n" });
    }
    // A web page with LF line ends is one line: a lone LF stays inside it.
    std::string page;
    for (int i = 0; i < 30000; ++i) {
        page += i == 15000 ? "<p>CustomerID</p>\n" : "<p>nothing</p>\n";
    }
    std::string pageOut = page;
    pageOut.replace(pageOut.find("CustomerID"), 10, "ClientID");
    rows.push_back({ "LF page", page, { { "customerid", "ClientID" } }, false, pageOut + "\r\n" });

    for (const Row& row : rows) {
        for (const bool aged : { false, true }) {
            SCOPED_TRACE(row.name + (aged ? ", read ahead" : ""));
            TempTree tree;
            tree.Write("org/proj/a.txt", row.in);
            tree.MakeFolder("new");
            if (!row.staleCopy.empty()) {
                tree.Write("new/proj/a.txt", row.staleCopy);
            }
            if (aged) {
                tree.Age("org");
            }
            FakeWindow window;
            auto fso = platform::CreateFileSystemObject();
            engine::RunReport report;
            const std::u16string unhandled = engine::ReplaceFolder(U16(tree.Path("org/proj"), true),
                U16(tree.Path("new"), true), *fso, row.mark, engine::PairTable(row.pairs), window,
                report, common::NativePathStyle());
            EXPECT_EQ(testing_support::Utf8(unhandled), "");
            const std::string copy = std::filesystem::exists(tree.Path("new/proj/a.txt"))
                ? ReadBytes(tree.Path("new/proj/a.txt"))
                : "(no copy)";
            EXPECT_EQ(copy.size(), row.out.size());
            EXPECT_TRUE(copy == row.out) << testing::PrintToString(copy.substr(0, 80));
        }
    }
}

// The folders of version-control systems are left alone and listed, by their exact names; where
// the file system ignores letter case (Windows), in any case.
TEST_F(Walk, VersionControlFoldersAreLeftAloneAndListed)
{
    const bool anyCase = common::NativePathStyle() == common::PathStyle::Windows;
    const struct {
        const char* folder;
        bool leftAlone;
    } rows[] = { { ".hg", true }, { "_svn", true }, { ".SVN", anyCase }, { "cvs", anyCase },
        { ".Git", anyCase }, { "svn", false }, { ".gitx", false } };
    Tree expected { { "proj/", "" } };
    for (const auto& row : rows) {
        const std::string file = std::string(row.folder) + "/a.frm";
        tree.Write("work/proj/" + file, "old\r\n");
        if (!row.leftAlone) {
            expected["proj/" + std::string(row.folder) + "/"] = "";
            expected["proj/" + file] = "new\r\n";
        }
    }
    window.check1 = 1;
    engine::RunReport report;
    engine::ReplaceFolder(Org(), U16(tree.Path("out"), true), *fso, false, pairs, window, report,
        common::NativePathStyle());
    EXPECT_EQ(Out(), expected);
    std::vector<std::string> listed;
    for (const auto& [path, reason] : report.skipped) {
        EXPECT_EQ(reason, engine::SkipReason::VersionControl);
        listed.push_back(std::filesystem::path(platform::NativePath::FromText(path).Native())
                             .filename()
                             .string());
    }
    std::vector<std::string> leftAlone;
    for (const auto& row : rows) {
        if (row.leftAlone) {
            leftAlone.emplace_back(row.folder);
        }
    }
    std::sort(listed.begin(), listed.end());
    std::sort(leftAlone.begin(), leftAlone.end());
    EXPECT_EQ(listed, leftAlone);
}
