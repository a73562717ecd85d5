#include "engine/FileChanges.h"
#include "engine/RewriteLine.h"
#include "engine/RunCommand.h"
#include "engine/UnifiedDiff.h"
#include "platform/Cp932.h"
#include "platform/SysCalls.h"
#include "tests/engine/FakeWindow.h"
#include "tests/support/SysCallsGuard.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <sstream>

using testing_support::Sjis;
using testing_support::TempTree;
using testing_support::U16;
using testing_support::Utf8;

namespace {

// A run over one file that keeps its edits, and the changes of that file.
struct OneFile {
    TempTree tree;
    FakeWindow window;
    engine::RunReport report;

    OneFile(std::string_view bytes, std::string_view rules, bool mark = false)
    {
        tree.Write("org/a.frm", bytes);
        tree.Write("rules.txt", rules);
        tree.MakeFolder("new");
        window.boxes[0] = U16(tree.Path("org"), true);
        window.boxes[1] = U16(tree.Path("new"), true);
        window.boxes[2] = U16(tree.Path("rules.txt"));
        window.check2 = mark ? 1 : 0;
        report = engine::RunReplace(window, common::NativePathStyle(), true);
    }
    std::unique_ptr<engine::FileChanges> Changes() const
    {
        return report.changed.size() == 1 && report.edits.size() == 1
            ? std::make_unique<engine::FileChanges>(report.changed[0], report.edits[0])
            : nullptr;
    }
};

// A side's lines as one text, each after "|", with the stand-ins in [] and the differences in {}.
std::string Marked(const std::vector<engine::ShownLine>& lines)
{
    std::string text;
    for (const engine::ShownLine& line : lines) {
        std::u16string marked;
        for (std::size_t i = 0; i <= line.text.size(); ++i) {
            for (const engine::TextRange& r : line.differs) {
                marked += r.end == i ? u"}" : u"";
            }
            for (const engine::TextRange& r : line.shown) {
                marked += r.end == i ? u"]" : u"";
            }
            for (const engine::TextRange& r : line.shown) {
                marked += r.begin == i ? u"[" : u"";
            }
            for (const engine::TextRange& r : line.differs) {
                marked += r.begin == i ? u"{" : u"";
            }
            if (i < line.text.size()) {
                marked += line.text[i];
            }
        }
        text += "|" + Utf8(marked);
    }
    return text;
}

TEST(FileChanges, ShowsEachChangeWithItsLinesAsTheyAre)
{
    const std::string mark = engine::ModificationMark();
    const struct {
        const char* what;
        std::string bytes;
        std::string rules;
        bool mark;
        std::uint64_t orgLine, orgLines, copyLine, copyLines;
        std::string org, copy;
    } cases[] = {
        { "a name replaced", "x\r\nDim Old\r\ny\r\n", "old,new\r\n", false, 2, 1, 2, 1,
            "|Dim {Old}", "|Dim {new}" },
        { "Japanese, and a letter in common", Sjis(u"' 顧客 CustomerID\r\n"),
            Sjis(u"顧客,取引先\r\nCustomerID,ClientID\r\n"), false, 1, 1, 1, 1,
            "|' {顧客} C{ustomer}ID", "|' {取引先} C{lient}ID" },
        { "a byte that is no character", "\xFF old\r\n", "old,new\r\n", false, 1, 1, 1, 1,
            "|[\\xFF] {old}", "|[\\xFF] {new}" },
        { "a last line without its line end", "a\r\nold", "old,new\r\n", false, 2, 1, 2, 1,
            "|{old[[改行なし]}]", "|{new}" }, // the copy's last line was ended
        { "a control character", "old\x1A\tx\r\n", "old,new\r\n", false, 1, 1, 1, 1, "|{old}[␚]\tx",
            "|{new}[␚]\tx" },
        { "a line ended by LF alone", "old\nb\r\n", "old,new\r\n", false, 1, 1, 1, 1, "|{old}[␊]",
            "|{new}[␊]" },
        { "a lone CR inside a line", "x\rold\r\n", "old,new\r\n", false, 1, 1, 1, 2, "|x[{␍]old}",
            "|x|{new}" },
        { "the mark line", "old\r\n", "old,new\r\n", true, 1, 1, 1, 2, "|{old}",
            "|{" + Utf8(platform::DecodeCp932(mark)) + "}|{new}" },
        { "UTF-8", "\xE9\xA1\xA7\xE5\xAE\xA2 old\r\n", "old,new\r\n", false, 1, 1, 1, 1,
            "|顧客 {old}", "|顧客 {new}" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const OneFile run(c.bytes, c.rules, c.mark);
        const auto changes = run.Changes();
        ASSERT_NE(changes, nullptr) << Utf8(run.report.result);
        changes->FindMore(10);
        EXPECT_TRUE(changes->AllFound());
        ASSERT_EQ(changes->Found(), 1u);
        const engine::ShownChange shown = changes->Read(0, 40, 4096);
        EXPECT_EQ(shown.orgLine, c.orgLine);
        EXPECT_EQ(shown.orgLines, c.orgLines);
        EXPECT_EQ(shown.copyLine, c.copyLine);
        EXPECT_EQ(shown.copyLines, c.copyLines);
        EXPECT_EQ(Marked(shown.org), c.org);
        EXPECT_EQ(Marked(shown.copy), c.copy);
    }
}

TEST(FileChanges, AreFoundAsAskedForAndReadWithinTheirLimits)
{
    std::string bytes;
    for (int i = 0; i < 1000; ++i) {
        bytes += i % 10 == 0 ? "Dim old, old\r\n" : "same\r\n";
    }
    const OneFile run(bytes, "old,new\r\n");
    const auto changes = run.Changes();
    ASSERT_NE(changes, nullptr);
    changes->FindMore(3);
    EXPECT_EQ(changes->Found(), 3u);
    EXPECT_FALSE(changes->AllFound());
    EXPECT_EQ(changes->Numbers(2).orgLine, 21u);
    changes->FindMore(1000);
    EXPECT_TRUE(changes->AllFound());
    EXPECT_EQ(changes->Found(), 100u);
    EXPECT_EQ(changes->Numbers(99).copyLine, 991u);
    // Cut after six bytes: what is left of the line is not shown, and says so.
    EXPECT_EQ(Marked(changes->Read(99, 1, 6).org), "|Dim {ol}[…]");
}

TEST(FileChanges, AFileWrittenSinceTheRunIsNotShown)
{
    for (const char* written : { "org/a.frm", "new/org/a.frm" }) {
        SCOPED_TRACE(written);
        OneFile run("old\r\nold\r\n", "old,new\r\n");
        const auto before = run.Changes();
        ASSERT_NE(before, nullptr);
        before->FindMore(1);
        std::ofstream(run.tree.Path(written), std::ios::binary | std::ios::app) << "more\r\n";
        // A file opened before the write finds it when it reads; one opened after, at once.
        EXPECT_TRUE(before->Read(0, 40, 4096).org.empty());
        EXPECT_EQ(before->Status(), engine::FileChanges::State::ChangedSinceRun);
        EXPECT_EQ(run.Changes()->Status(), engine::FileChanges::State::ChangedSinceRun);
    }
}

// Edits that went to the scratch file and cannot be read back leave the file unread, in the pane
// and in the diff, at once and without a crash: nothing is made up from part of them.
TEST(FileChanges, EditsThatCannotBeReadBackLeaveTheFileUnread)
{
    std::string bytes;
    for (int i = 0; i < 20000; ++i) {
        bytes += "old\r\nkeep\r\n"; // every other line: an edit each
    }
    OneFile run(bytes, "old,new\r\n");
    testing_support::SysCallsGuard calls;
    platform::Sys().pread = [](int, void*, std::size_t, auto) -> ssize_t {
        errno = EIO;
        return -1;
    };
    const auto changes = run.Changes();
    ASSERT_NE(changes, nullptr);
    EXPECT_EQ(changes->Status(), engine::FileChanges::State::CannotRead);
    std::ostringstream out;
    EXPECT_EQ(engine::WriteFileDiff(
                  run.report.changed[0], run.report.edits[0], "a.frm", engine::DiffTime(), out),
        engine::DiffOutcome::CannotRead);
}

TEST(FileChanges, DifferencesAreWhatTheCommonCharactersLeave)
{
    const struct {
        std::u16string a, b;
        std::string inA, inB; // as begin-end pairs
    } cases[] = {
        { u"same", u"same", "", "" },
        { u"abc", u"aXc", "1-2", "1-2" },
        { u"abc", u"abXc", "", "2-3" },
        { u"Customer", u"Client", "1-8", "1-6" },
        { u"a\nb", u"X\nY", "0-1 2-3", "0-1 2-3" }, // not joined across a line
        // Too long to compare character by character: the middle, from common end to common end.
        { u"<" + std::u16string(2000, u'a') + u">", u"<" + std::u16string(2000, u'b') + u">",
            "1-2001", "1-2001" },
    };
    for (const auto& c : cases) {
        std::vector<engine::TextRange> inA;
        std::vector<engine::TextRange> inB;
        engine::MarkDifferences(c.a, c.b, inA, inB);
        const auto text = [](const std::vector<engine::TextRange>& ranges) {
            std::string s;
            for (const engine::TextRange& r : ranges) {
                s += (s.empty() ? "" : " ") + std::to_string(r.begin) + "-" + std::to_string(r.end);
            }
            return s;
        };
        EXPECT_EQ(text(inA), c.inA) << Utf8(c.a);
        EXPECT_EQ(text(inB), c.inB) << Utf8(c.b);
    }
}

} // namespace
