#include "engine/RunCommand.h"
#include "engine/Messages.h"
#include "engine/RewriteLine.h"
#include "engine/UnifiedDiff.h"
#include "platform/SysCalls.h"
#include "tests/engine/FakeWindow.h"
#include "tests/support/SysCallsGuard.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

using engine::PathBox;
using testing_support::ReadBytes;
using testing_support::Snapshot;
using testing_support::TempTree;
using testing_support::U16;
using testing_support::Utf8;
namespace messages = engine::messages;

namespace {

struct Run : ::testing::Test {
    TempTree tree;
    FakeWindow window;

    void SetUp() override
    {
        tree.Write("org/proj/a.frm", "Dim Old\r\n");
        tree.Write("org/proj/b.frm", "same\r\n");
        tree.Write("rules.txt", "old,new\r\n");
        tree.MakeFolder("new");
        window.boxes[0] = U16(tree.Path("org/proj"), true);
        window.boxes[1] = U16(tree.Path("new"), true);
        window.boxes[2] = U16(tree.Path("rules.txt"));
    }
    void Start() { engine::RunReplace(window, common::NativePathStyle()); }
    void ExpectUnlockedWithFocus()
    {
        EXPECT_TRUE(window.controlsEnabled);
        EXPECT_TRUE(window.focusInText1);
    }
};

TEST_F(Run, SuccessWritesTheTreeAndSaysSoWithoutABeep)
{
    window.boxes[0] = u"  " + window.boxes[0] + u"  ";
    Start();
    EXPECT_EQ(window.captions.front(), messages::Starting);
    EXPECT_EQ(window.LastCaption(), messages::Finished);
    EXPECT_EQ(window.beeps, 0);
    ExpectUnlockedWithFocus();
    EXPECT_EQ(window.boxes[0], U16(tree.Path("org/proj"), true)); // trimmed, case kept
    EXPECT_EQ(ReadBytes(tree.Path("new/proj/a.frm")), "Dim new\r\n");
    EXPECT_FALSE(std::filesystem::exists(tree.Path("new/proj/b.frm")));
    // Every time the window could repaint during the run, the controls were locked but Status.
    for (const bool unlocked : window.controlsDuringRun) {
        EXPECT_FALSE(unlocked);
    }
}

TEST_F(Run, EmptyBoxEndsSilentlyAfterTidying)
{
    for (int box = 0; box < 3; ++box) {
        FakeWindow fresh;
        fresh.boxes[0] = u" /Some/Org/ ";
        fresh.boxes[1] = u"/new/";
        fresh.boxes[2] = u"rules.txt";
        fresh.boxes[box] = u"   ";
        engine::RunReplace(fresh, common::PathStyle::Posix);
        EXPECT_TRUE(fresh.captions.empty());
        EXPECT_EQ(fresh.beeps, 0);
        EXPECT_EQ(fresh.lockCount, 0);
        EXPECT_EQ(fresh.boxes[box], u"");
        if (box != 0) {
            EXPECT_EQ(fresh.boxes[0], u"/Some/Org/");
        }
    }
}

TEST_F(Run, NewFolderEndsInExactlyOneSeparator)
{
    struct Case {
        std::u16string typed, tidied;
        common::PathStyle style;
    };
    const Case cases[] = {
        { u"/out/", u"/out/", common::PathStyle::Posix },
        { u" /out ", u"/out/", common::PathStyle::Posix },
        { u"/Out/file.txt", u"/Out/", common::PathStyle::Posix },
        { u"D:\\Out\\", u"d:\\out\\", common::PathStyle::Windows },
        { u"D:\\Out", u"d:\\out\\", common::PathStyle::Windows },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        FakeWindow fresh;
        fresh.boxes[0] = u"C:\\ORG\\";
        fresh.boxes[1] = c.typed;
        fresh.boxes[2] = u"";
        engine::RunReplace(fresh, c.style);
        EXPECT_EQ(fresh.boxes[1], c.tidied);
        EXPECT_EQ(
            fresh.boxes[0], c.style == common::PathStyle::Windows ? u"c:\\org\\" : u"C:\\ORG\\");
    }
}

TEST_F(Run, EveryWayOutShowsItsTextBeepsAndUnlocks)
{
    struct Case {
        std::string name;
        std::function<void(Run&)> arrange;
        std::u16string caption;
        int beeps;
    };
    const std::u16string rules = U16(tree.Path("rules.txt"));
    const Case cases[] = {
        { "missing definition", [](Run& r) { r.window.boxes[2] = U16(r.tree.Path("nothing.txt")); },
            messages::DefinitionNotFound + (u"\n" + U16(tree.Path("nothing.txt"))), 1 },
        { "odd field count", [](Run& r) { r.tree.Write("rules.txt", "a,b,c"); },
            messages::DefinitionNotPaired + (u"\n" + rules), 1 },
        { "empty definition", [](Run& r) { r.tree.Write("rules.txt", ""); }, messages::Starting,
            0 },
        { "no file-system object", [](Run& r) { r.window.fileSystemFails = true; },
            messages::NoFileSystemObject, 1 },
        { "missing ORG folder",
            [](Run& r) { r.window.boxes[0] = U16(r.tree.Path("nowhere"), true); },
            messages::OrgFolderNotFound + (u"\n" + U16(tree.Path("nowhere"), true)), 1 },
        { "NEW is ORG's parent", [](Run& r) { r.window.boxes[1] = U16(r.tree.Path("org"), true); },
            messages::FoldersOverlap + (u"\n" + U16(tree.Path("org"), true)), 1 },
        { "single separator", [](Run& r) { r.window.boxes[0] = u"/"; }, messages::Finished, 0 },
        { "definition too large for the memory there is",
            [](Run&) { platform::Sys().availableMemory = [] { return std::uint64_t(64); }; },
            messages::DefinitionTooLarge + (u"\n" + rules), 1 },
        { "no memory for the table",
            [](Run&) { platform::Sys().allocate = [](std::size_t) -> void* { return nullptr; }; },
            messages::DefinitionTooLarge + (u"\n" + rules), 1 },
    };
    const testing_support::SysCallsGuard restored;
    const auto orgBefore = Snapshot(tree.Path("org"));
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        SetUp();
        window = FakeWindow {};
        SetUp();
        c.arrange(*this);
        Start();
        platform::Sys() = platform::RealSysCalls();
        EXPECT_EQ(window.LastCaption(), c.caption) << c.name;
        EXPECT_EQ(window.beeps, c.beeps) << c.name;
        EXPECT_EQ(window.lockCount, 1) << c.name;
        ExpectUnlockedWithFocus();
        tree.Write("rules.txt", "old,new\r\n");
        EXPECT_EQ(Snapshot(tree.Path("org")), orgBefore) << c.name;
        EXPECT_TRUE(Snapshot(tree.Path("new")).empty()) << c.name;
    }
}

TEST_F(Run, GreyedMarkOptionRunsWithoutMarks)
{
    for (const int check2 : { 0, 1, 2 }) {
        window.check2 = check2;
        Start();
        const std::string expected
            = (check2 == 1 ? engine::ModificationMark() + "\r\n" : "") + "Dim new\r\n";
        EXPECT_EQ(ReadBytes(tree.Path("new/proj/a.frm")), expected);
    }
}

TEST_F(Run, ReadOnlyCopyInTheWayIsKeptAndReported)
{
    tree.Write("new/proj/a.frm", "earlier");
    std::filesystem::permissions(tree.Path("new/proj/a.frm"), std::filesystem::perms::owner_read);
    Start();
    EXPECT_EQ(ReadBytes(tree.Path("new/proj/a.frm")), "earlier");
    EXPECT_EQ(window.LastCaption(),
        messages::FilesNotHandled + (u"\n" + U16(tree.Path("org/proj/a.frm"))));
    EXPECT_EQ(window.beeps, 1);
}

TEST_F(Run, OutputFolderThatCannotBeMadeIsReported)
{
    window.boxes[1] = U16(tree.Path("new/missing/deeper"), true);
    Start();
    // A NEW folder that is not there is refused before anything is written.
    EXPECT_EQ(window.LastCaption(),
        messages::NewFolderNotFound + (u"\n" + U16(tree.Path("new/missing/deeper"), true)));
    EXPECT_FALSE(std::filesystem::exists(tree.Path("new/missing")));
}

TEST_F(Run, WriteFailingMidwayLeavesNoPartialCopy)
{
    std::string big;
    for (int i = 0; i < 100000; ++i) {
        big += "line " + std::to_string(i) + " old\r\n";
    }
    tree.Write("org/proj/a.frm", big);
    tree.Write("new/proj/a.frm", "stale copy");
    static long budget;
    budget = 100000;
    testing_support::SysCallsGuard calls;
    calls->write = [](int fd, const void* data, std::size_t size) -> ssize_t {
        if (static_cast<long>(size) > budget) {
            errno = ENOSPC;
            return -1;
        }
        budget -= static_cast<long>(size);
        return platform::RealSysCalls().write(fd, data, size);
    };
    Start();
    calls->write = platform::RealSysCalls().write;
    // The copy was written under a temporary name: the earlier copy stays whole until replaced.
    EXPECT_EQ(ReadBytes(tree.Path("new/proj/a.frm")), "stale copy");
    EXPECT_EQ(Snapshot(tree.Path("new/proj")).size(), 1u);
    EXPECT_EQ(window.LastCaption(),
        messages::FilesNotHandled + (u"\n" + U16(tree.Path("org/proj/a.frm"))));
    // The next run into the same NEW folder is whole.
    Start();
    EXPECT_EQ(window.LastCaption(), messages::Finished);
    EXPECT_EQ(ReadBytes(tree.Path("new/proj/a.frm")).size(), big.size());
}

TEST_F(Run, FolderLinksClosingACycleEnd)
{
    if (!tree.Link("org/proj", "org/proj/loop") || !tree.Link("org", "org/proj/up")) {
        GTEST_SKIP() << "this system makes no links";
    }
    Start();
    EXPECT_EQ(window.LastCaption(), messages::Finished);
    EXPECT_EQ(ReadBytes(tree.Path("new/proj/a.frm")), "Dim new\r\n");
    EXPECT_FALSE(std::filesystem::exists(tree.Path("new/proj/loop")));
}

TEST_F(Run, NewInsideOrgNeverReadsItsOwnOutput)
{
    window.boxes[1] = U16(tree.Path("org/proj/out"), true);
    tree.MakeFolder("org/proj/out");
    Start();
    Start();
    EXPECT_EQ(window.LastCaption(), messages::Finished);
    EXPECT_EQ(Snapshot(tree.Path("org/proj/out")),
        (std::map<std::string, std::string> { { "proj/", "" }, { "proj/a.frm", "Dim new\r\n" } }));
}

TEST_F(Run, OutputLevelsResolvingIntoTheOrgTreeAreNeverWritten)
{
    // ORG a/a written under NEW gives the top output a/, and ORG's subfolder a/a/a would be
    // mirrored onto a/a, the ORG folder itself.
    tree.Write("org/a/a/c.frm", "plain\r\n");
    tree.Write("org/a/a/d.frm", "keep\r\n");
    tree.Write("org/a/a/a/c.frm", "old\r\n");
    tree.Write("org/a/a/a/d.frm", "unchanged\r\n");
    window.boxes[0] = U16(tree.Path("org/a/a"), true);
    window.boxes[1] = U16(tree.Path("org"), true);
    const auto before = Snapshot(tree.Path("org/a/a"));
    Start();
    EXPECT_EQ(Snapshot(tree.Path("org/a/a")), before);
    EXPECT_EQ(window.LastCaption(),
        messages::FilesNotHandled + (u"\n" + U16(tree.Path("org/a/a/a/c.frm"))));
}

} // namespace

namespace {

// Real trees are not all CP932 text: each text file is matched and written in its own encoding,
// binary and UTF-16 files are never rewritten, version-control folders are never walked, and the
// report says so, with counts that a count of its own in the test agrees with.
TEST_F(Run, EachFileInItsOwnEncodingAndTheReportSaysWhatTheRunDid)
{
    tree.Write(
        "rules.txt", testing_support::Sjis(u"顧客,取引先\r\nCustomerID,ClientID\r\nnowhere,x\r\n"));
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* name;
        std::string in;
        std::string out; // empty: no copy
    } files[] = {
        { "cp932.frm", testing_support::Sjis(u"' 顧客\r\nx = CustomerID\r\n"),
            testing_support::Sjis(u"' 取引先\r\nx = ClientID\r\n") },
        { "utf8.bas", Utf8(u"' 顧客 顧客\r\ncustomerid\r\n"),
            Utf8(u"' 取引先 取引先\r\nClientID\r\n") },
        { "bom.cls", bom + Utf8(u"' 顧客\r\n"), bom + Utf8(u"' 取引先\r\n") },
        // Valid UTF-8 up to its last line, then a CP932 character: CP932 after all.
        { "late.frm", Utf8(u"' é\r\nCustomerID\r\n") + testing_support::Sjis(u"顧客\r\n"),
            Utf8(u"' é\r\nClientID\r\n") + testing_support::Sjis(u"取引先\r\n") },
        { "ascii.frm", "customerid\r\n", "ClientID\r\n" },
        { "form.frx", std::string("CustomerID\0\r\x01", 13), "" },
        { "utf16.txt",
            "\xFF\xFE"
            "C\0u\0s\0",
            "" },
    };
    for (const auto& file : files) {
        SCOPED_TRACE("row " + std::to_string(&file - std::data(files)));
        tree.Write("org/proj/" + std::string(file.name), file.in);
    }
    tree.Write("org/proj/.svn/text-base/a.frm.svn-base", "CustomerID\r\n");
    tree.Write("new/proj/form.frx", "a stale copy");
    for (const bool mark : { false, true }) {
        SCOPED_TRACE(mark);
        window.check2 = mark ? 1 : 0;
        window.boxes[0] = U16(tree.Path("org/proj"), true);
        const engine::RunReport report = engine::RunReplace(window, common::NativePathStyle());
        EXPECT_EQ(window.LastCaption(), messages::Finished);
        std::uint64_t expectedReplacements = 0;
        for (const auto& file : files) {
            SCOPED_TRACE(file.name);
            const auto copy = tree.Path("new/proj/" + std::string(file.name));
            ASSERT_EQ(std::filesystem::exists(copy), !file.out.empty());
            if (file.out.empty()) {
                continue;
            }
            std::string expected = file.out;
            if (mark) {
                // The mark line in the file's own encoding, before every changed line.
                const bool utf8
                    = std::string(file.name) == "utf8.bas" || std::string(file.name) == "bom.cls";
                const std::string line
                    = engine::ModificationMark(
                          utf8 ? engine::TextEncoding::Utf8 : engine::TextEncoding::Cp932)
                    + "\r\n";
                std::string marked;
                std::size_t from = std::string(file.name) == "bom.cls" ? 3 : 0;
                marked = expected.substr(0, from);
                for (std::size_t end; (end = expected.find("\r\n", from)) != std::string::npos;
                     from = end + 2) {
                    const std::string outLine = expected.substr(from, end + 2 - from);
                    const bool changed = file.in.find(outLine) == std::string::npos;
                    marked += (changed ? line : "") + outLine;
                }
                expected = marked;
            }
            EXPECT_EQ(ReadBytes(copy), expected);
        }
        EXPECT_FALSE(std::filesystem::exists(tree.Path("new/proj/.svn")));

        // A count of our own: one replacement per occurrence of a search text in the inputs.
        for (const auto& file : files) {
            SCOPED_TRACE("row " + std::to_string(&file - std::data(files)));
            if (file.out.empty()) {
                continue;
            }
            for (const std::string& needle : { Utf8(u"顧客"), testing_support::Sjis(u"顧客"),
                     std::string("ustomerid"), std::string("ustomerID") }) {
                for (std::size_t at = file.in.find(needle); at != std::string::npos;
                     at = file.in.find(needle, at + 1)) {
                    ++expectedReplacements;
                }
            }
        }
        std::uint64_t replacements = 0;
        for (const engine::ChangedFile& changed : report.changed) {
            for (const auto& [pair, count] : changed.replacements) {
                replacements += count;
            }
        }
        EXPECT_EQ(report.filesRead, 9u); // a.frm, b.frm and the seven above
        EXPECT_EQ(report.changed.size(), 5u); // a.frm is left: "old" is no pair now
        EXPECT_EQ(replacements, expectedReplacements);
        EXPECT_EQ(report.unmatchedPairs, std::vector<int> { 2 });
        std::vector<std::pair<std::string, engine::SkipReason>> skipped;
        for (const auto& [path, reason] : report.skipped) {
            skipped.emplace_back(
                std::filesystem::path(platform::NativePath::FromText(path).Native())
                    .filename()
                    .string(),
                reason);
        }
        std::sort(skipped.begin(), skipped.end());
        EXPECT_EQ(skipped,
            (std::vector<std::pair<std::string, engine::SkipReason>> {
                { ".svn", engine::SkipReason::VersionControl },
                { "form.frx", engine::SkipReason::Binary },
                { "utf16.txt", engine::SkipReason::Utf16 } }));
        for (const engine::ChangedFile& changed : report.changed) {
            const std::string name
                = std::filesystem::path(platform::NativePath::FromText(changed.path).Native())
                      .filename()
                      .string();
            EXPECT_EQ(changed.encoding == engine::TextEncoding::Utf8,
                name == "utf8.bas" || name == "bom.cls")
                << name;
        }
    }
}

TEST_F(Run, DiffLeavesOutAFileWrittenSinceTheRunAndNamesIt)
{
    const struct {
        const char* what;
        const char* written; // relative to the tree, appended to
        bool removed;
    } cases[] = {
        { "the input written to", "org/proj/a.frm", false },
        { "the copy written to", "new/proj/a.frm", false },
        { "the copy removed", "new/proj/a.frm", true },
        { "nothing written", nullptr, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(tree.Path("new/proj"));
        tree.Write("org/proj/a.frm", "Dim Old\r\n");
        tree.Write("org/proj/c.frm", "x\r\nold\r\n");
        const engine::RunReport report
            = engine::RunReplace(window, common::NativePathStyle(), true);
        ASSERT_EQ(report.result, messages::Finished);
        if (c.written != nullptr && c.removed) {
            std::filesystem::remove(tree.Path(c.written));
        } else if (c.written != nullptr) {
            std::ofstream(tree.Path(c.written), std::ios::binary | std::ios::app) << "more\r\n";
        }
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(engine::WriteDiff(report, out, err), c.written == nullptr);
        EXPECT_NE(out.str().find("+++ b/c.frm\t"), std::string::npos) << out.str();
        EXPECT_EQ(out.str().find("+++ b/a.frm\t") != std::string::npos, c.written == nullptr)
            << out.str();
        EXPECT_EQ(err.str().find("a.frm") != std::string::npos, c.written != nullptr) << err.str();
    }
}

} // namespace
