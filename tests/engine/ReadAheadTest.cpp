// Files large enough to be read and scanned ahead on a thread of their own: the copies are
// byte for byte what the straightforward rewriting gives, wherever lines meet the block edges,
// and a read that fails or a copy that cannot be created ends the file cleanly.

#include "engine/BlockSource.h"
#include "engine/ReplaceFolder.h"
#include "platform/Cp932.h"
#include "platform/SysCalls.h"
#include "tests/engine/FakeWindow.h"
#include "tests/engine/Reference.h"
#include "tests/support/Rewriting.h"
#include "tests/support/SysCallsGuard.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <thread>

using testing_support::ReadBytes;
using testing_support::Snapshot;
using testing_support::TempTree;
using testing_support::U16;

namespace {

constexpr std::size_t kLarge
    = engine::BlockSource::kThreadedSize + engine::BlockSource::kBlockSize / 3;
constexpr std::size_t kBlock = engine::BlockSource::kBlockSize;

// A large file made of runs of whole lines: what the straightforward rewriting gives for the
// file is what it gives for each run, so the expected copy costs a look at each kind of line
// only.
struct Lines {
    Lines(std::string lines, std::size_t times = 1, std::function<std::string(bool)> copy = {})
        : lines(std::move(lines))
        , times(times)
        , copy(std::move(copy))
    {
    }
    std::string lines;
    std::size_t times;
    std::function<std::string(bool mark)>
        copy; // the copy written out, where the reference is too slow
};

struct Case {
    const char* name;
    std::vector<Lines> runs;

    std::string Bytes() const
    {
        std::string bytes;
        for (const Lines& run : runs) {
            for (std::size_t i = 0; i < run.times; ++i) {
                bytes += run.lines;
            }
        }
        return bytes;
    }
    std::string Expected(const engine::PairTable& pairs, bool mark, bool& changed) const
    {
        std::string copy;
        changed = false;
        for (const Lines& run : runs) {
            bool runChanged = static_cast<bool>(run.copy);
            const std::string lines = run.copy
                ? run.copy(mark)
                : reference::RewriteFile(run.lines, pairs, mark, runChanged);
            changed = changed || runChanged;
            for (std::size_t i = 0; i < run.times; ++i) {
                copy += lines;
            }
        }
        return copy;
    }
};

// The lines repeated often enough to take the file from `from` bytes to at least `to`.
Lines Repeat(const std::string& lines, std::size_t from, std::size_t to)
{
    return { lines, to > from ? (to - from + lines.size() - 1) / lines.size() : 0 };
}

Lines Filler(std::size_t from, std::size_t to)
{
    return Repeat("    Call Print(\"nothing to see\")\r\n", from, to);
}

struct Walk {
    TempTree tree;
    FakeWindow window;
    engine::PairTable pairs
        = testing_support::MakePairTable({ { u"old", u"New" }, { u"古い", u"新しい" } });

    std::u16string Run(bool mark = false)
    {
        auto fso = platform::CreateFileSystemObject();
        engine::RunReport report;
        return engine::ReplaceFolder(U16(tree.Path("org"), true), U16(tree.Path("out"), true), *fso,
            mark, pairs, window, report, common::NativePathStyle());
    }
};

TEST(ReadAhead, LargeFilesMatchTheReferenceWhereverLinesMeetTheBlockEdges)
{
    // Lines of 37 bytes, each with two matches: every block edge falls inside or next to one.
    const std::string matching = "x = OLD_value + \x8c\xc3\x82\xa2(1234567)\r\n";
    // Its CR is the last byte of the first block, its LF the first of the second.
    const Lines before = Filler(0, 200);
    const std::string split
        = std::string(kBlock - 1 - before.lines.size() * before.times, 'b') + "\r\n";
    const std::string as(2 * kBlock + kBlock / 2, 'a');
    const auto longCopy = [&](bool mark) {
        return (mark ? platform::EncodeCp932(u"'▼▼ ソースリプレース(vandor) ▼▼") + "\r\n" : "") + as
            + "New\r\n";
    };
    // Lines longer than a block holds whole come in pieces; only one that may change is read whole.
    const std::string piece = "x = OLD_value + \x8c\xc3\x82\xa2(1234567) ";
    const std::size_t pieces = (std::size_t(3) << 20) / piece.size();
    const std::string rewrittenPiece = reference::Rewrite(piece, Walk().pairs, false).records[0];
    const std::string markLine = platform::EncodeCp932(u"'▼▼ ソースリプレース(vandor) ▼▼") + "\r\n";
    std::string longLine;
    std::string longCopy2;
    for (std::size_t i = 0; i < pieces; ++i) {
        longLine += piece;
        longCopy2 += rewrittenPiece;
    }
    const std::string zs(std::size_t(3) << 20, 'z');
    const std::vector<Case> cases = {
        { "a line of megabytes changed all along",
            { { "start\r\n" },
                { longLine + "\r\n", 1,
                    [&](bool mark) { return (mark ? markLine : "") + longCopy2 + "\r\n"; } },
                Filler(0, kLarge) } },
        { "a line of megabytes changed at its end only, unterminated",
            { Filler(0, kLarge),
                { zs + " old", 1,
                    [&](bool mark) { return (mark ? markLine : "") + zs + " New\r\n"; } } } },
        { "a line of megabytes without a match, then a change",
            { { zs + "\r\n", 1, [&](bool) { return zs + "\r\n"; } }, { "old\r\n" },
                Filler(0, kLarge) } },
        { "a match at every edge", { Repeat(matching, 0, kLarge) } },
        // Longer than two blocks: the buffer grows for it.
        { "a line longer than two blocks",
            { { "start\r\n" }, { as + "old\r\n", 1, longCopy }, Filler(0, kLarge) } },
        { "a CR LF split by a block edge",
            { before, { split }, { "old\r\n" }, Filler(kBlock, kLarge) } },
        { "lone CRs and an unterminated last line",
            { Repeat("lone CR old\rlone LF\nold\r\n", 0, kLarge), { "an unterminated Old" } } },
        { "nothing matches", { Filler(0, kLarge) } },
    };
    ASSERT_EQ(cases[5].Bytes().substr(kBlock - 1, 2), "\r\n");
    for (const Case& each : cases) {
        SCOPED_TRACE("row " + std::to_string(&each - std::data(cases)));
        const std::string bytes = each.Bytes();
        ASSERT_GE(bytes.size(), engine::BlockSource::kThreadedSize) << each.name;
        for (const bool mark : { false, true }) {
            Walk walk;
            walk.tree.Write("org/big.bas", bytes);
            walk.tree.Write("out/org/big.bas", "a stale copy");
            ASSERT_TRUE(walk.Run(mark).empty()) << each.name;
            bool changed = false;
            const std::string expected = each.Expected(walk.pairs, mark, changed);
            const auto out = Snapshot(walk.tree.Path("out"));
            if (changed) {
                ASSERT_EQ(out.size(), 2u) << each.name;
                EXPECT_TRUE(ReadBytes(walk.tree.Path("out/org/big.bas")) == expected)
                    << each.name << ", mark " << mark;
            } else {
                EXPECT_TRUE(out.empty())
                    << each.name << ": the stale copy is deleted with its folder";
            }
        }
    }
}

std::atomic<int> readsLeft;

ssize_t FailingRead(int fd, void* buffer, std::size_t size)
{
    if (--readsLeft < 0) {
        errno = EIO;
        return -1;
    }
    return platform::RealSysCalls().read(fd, buffer, size);
}

// A read that fails after the first blocks were copied, and a copy name taken by a link while the
// thread is still reading: either way the file is reported, and nothing is left at its name but
// what was there.
TEST(ReadAhead, AFileThatCannotBeHandledWholeEndsTheThreadCleanly)
{
    std::string bytes;
    while (bytes.size() < kLarge) {
        bytes += "old line\r\n";
    }
    {
        Walk walk;
        walk.tree.Write("org/big.bas", bytes);
        readsLeft = 3;
        std::u16string unhandled;
        {
            testing_support::SysCallsGuard calls;
            calls->read = FailingRead;
            unhandled = walk.Run();
        }
        EXPECT_EQ(unhandled, U16(walk.tree.Path("org/big.bas")));
        EXPECT_FALSE(std::filesystem::exists(walk.tree.Path("out/org/big.bas")));
        EXPECT_TRUE(ReadBytes(walk.tree.Path("org/big.bas")) == bytes);
    }
    {
        Walk walk;
        walk.tree.Write("org/big.bas", bytes);
        walk.tree.Write("elsewhere.txt", "kept");
        std::filesystem::create_directories(walk.tree.Path("out/org"));
        if (!walk.tree.Link("elsewhere.txt", "out/org/big.bas")) {
            GTEST_SKIP() << "this system makes no links";
        }
        EXPECT_EQ(walk.Run(), U16(walk.tree.Path("org/big.bas")));
        EXPECT_EQ(ReadBytes(walk.tree.Path("elsewhere.txt")), "kept");
        EXPECT_TRUE(std::filesystem::is_symlink(walk.tree.Path("out/org/big.bas")));
    }
}

} // namespace

// Small files read ahead on the second thread (a tree nobody has written to lately) give what the
// walk gives reading them itself (files written just now): the copies, the stale copies deleted,
// the status texts in their order and what the run reports.
TEST(ReadAhead, SmallFilesReadAheadGiveWhatTheWalkReadsItself)
{
    const auto fill = [](const TempTree& tree) {
        for (int i = 0; i < 40; ++i) { // more than the files read ahead at once
            const std::string name = "org/f" + std::to_string(i) + ".bas";
            tree.Write(name, i % 3 == 0 ? "old " + std::to_string(i) + "\r\n" : "same\r\n");
        }
        tree.Write("org/empty.bas", "");
        tree.Write("org/nul.bas", std::string("old\0x\r\n", 7));
        tree.Write("org/utf16.bas", "\xFF\xFEo\0l\0d\0");
        tree.Write("org/utf8.bas", "' \xE5\x8F\xA4\xE3\x81\x84 old\r\n"); // 古い
        tree.Write("org/sjis.bas", testing_support::Sjis(u"' 古い OLD\r\nlone\rold"));
        std::string block;
        while (block.size() <= kBlock) {
            block += "line old\r\n";
        }
        tree.Write("org/block.bas", block);
        tree.Write("org/sub/g.bas", "old g\r\n");
        tree.Write("out/org/f1.bas", "stale");
    };
    Walk itself;
    fill(itself.tree);
    Walk ahead;
    fill(ahead.tree);
    ahead.tree.Age("org");
    static std::atomic<bool> readElsewhere;
    static std::thread::id walkThread;
    readElsewhere = false;
    walkThread = std::this_thread::get_id();
    std::u16string unhandled;
    {
        testing_support::SysCallsGuard calls;
        calls->read = [](int fd, void* buffer, std::size_t size) {
            readElsewhere = readElsewhere || std::this_thread::get_id() != walkThread;
            return platform::RealSysCalls().read(fd, buffer, size);
        };
        unhandled = ahead.Run(true);
    }

    EXPECT_EQ(readElsewhere, std::thread::hardware_concurrency() > 1);
    EXPECT_EQ(unhandled, itself.Run(true));
    EXPECT_EQ(ahead.window.captions, itself.window.captions);
    const auto copies = Snapshot(ahead.tree.Path("out"));
    EXPECT_EQ(copies, Snapshot(itself.tree.Path("out")));
    EXPECT_EQ(copies.size(), 20u); // 18 files and 2 folders
    EXPECT_EQ(copies.count("org/f1.bas"), 0u);
}

// A file is checked for UTF-8 a block at a time, ASCII eight bytes at a time: the verdict is the
// same wherever the blocks end and wherever a character falls among the ASCII around it.
TEST(ReadAhead, Utf8VerdictsDoNotDependOnWhereTheBlocksEnd)
{
    struct Case {
        const char* sequence;
        bool valid;
    };
    const Case cases[] = {
        { "\xE9\xA1\xA7", true }, // 顧
        { "\xE0\xA0\x80", true },
        { "\xED\x9F\xBF", true },
        { "\xEF\xBF\xBF", true },
        { "\xE0\x9F\xBF", false }, // overlong
        { "\xC3\xA9", true }, // é
        { "\xF0\x9F\x98\x80", true },
        { "\xE9\xA1", false }, // cut short by ASCII
        { "\x82\xA0", false }, // CP932 あ
        { "\xC0\xAF", false }, // overlong
        { "\xED\xA0\x80", false }, // surrogate
        { "\xF4\x90\x80\x80", false }, // past U+10FFFF
        { "\xFF", false },
    };
    for (const Case& c : cases) {
        for (std::size_t before = 0; before <= 17; ++before) {
            const std::string text
                = std::string(before, 'a') + c.sequence + std::string(17 - before, 'b');
            for (std::size_t cut = 0; cut <= text.size(); ++cut) {
                SCOPED_TRACE(
                    testing::Message() << c.sequence << " after " << before << " cut " << cut);
                engine::Utf8Check check;
                const bool valid = check.Feed(std::string_view(text).substr(0, cut))
                    && check.Feed(std::string_view(text).substr(cut)) && check.Complete();
                ASSERT_EQ(valid, c.valid);
            }
        }
    }
}
