#include "platform/TextFile.h"
#include "platform/FieldReader.h"
#include "platform/SysCalls.h"
#include "tests/support/SysCallsGuard.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

using testing_support::Native;
using testing_support::ReadBytes;
using testing_support::TempTree;
using testing_support::U16;

namespace {

TEST(FieldReader, ReadsFieldsAsDefinitionFilesHoldThem)
{
    struct Case {
        std::string text;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        { "A,B\r\nC,D\r\n", { "A", "B", "C", "D" } },
        { "A\r\nB\r\nC\r\nD", { "A", "B", "C", "D" } },
        { "A,B,C,D", { "A", "B", "C", "D" } },
        { "\"a, b\",x", { "a, b", "x" } },
        { "a, b", { "a", "b" } },
        { " \ta \t,b  \r\n", { "a", "b" } },
        { "a\n\nb", { "a", "", "b" } },
        { "a,,b", { "a", "", "b" } },
        { "\"\",x", { "", "x" } },
        { "\"two\r\nlines\",x", { "two\r\nlines", "x" } },
        { "\"q\"  ,x", { "q", "x" } },
        { "\"q\"z,x", { "q", "z", "x" } },
        { "\"open", { "open" } },
        { "a\rb\nc", { "a", "b", "c" } },
        { "a,b\r\n\r\n  \r\n\t", { "a", "b" } },
        { "  \r\n", {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        platform::FieldReader reader(c.text);
        std::vector<std::string> fields;
        std::string field;
        while (reader.ReadField(field)) {
            fields.push_back(field);
        }
        EXPECT_TRUE(reader.AtEnd());
        EXPECT_EQ(fields, c.fields) << c.text;
    }
}

struct FaultInjection : ::testing::Test {
    static inline long budget = 0;
    static inline bool failClose = false;
    static inline std::size_t chunk = 0; // the most one write takes; 0: any
    void SetUp() override
    {
        budget = -1;
        failClose = false;
        chunk = 0;
        platform::Sys().write = [](int fd, const void* data, std::size_t size) -> ssize_t {
            if (chunk != 0) {
                size = std::min(size, chunk);
            }
            if (budget >= 0 && static_cast<long>(size) > budget) {
                errno = ENOSPC;
                return -1;
            }
            if (budget >= 0) {
                budget -= static_cast<long>(size);
            }
            return platform::RealSysCalls().write(fd, data, size);
        };
        platform::Sys().close = [](int fd) -> int {
            const int result = platform::RealSysCalls().close(fd);
            return failClose ? (errno = EIO, -1) : result;
        };
    }
    testing_support::SysCallsGuard calls; // the real calls back after each test
};

TEST_F(FaultInjection, OutputFileReportsEveryLostByte)
{
    TempTree tree;
    const std::string big(1 << 20, 'x');
    struct Case {
        long budget;
        bool failClose;
        bool ok;
    };
    for (const Case c :
        { Case { -1, false, true }, Case { 1000, false, false }, Case { -1, true, false } }) {
        budget = c.budget;
        failClose = c.failClose;
        SCOPED_TRACE(c.budget);
        tree.Write("out", "older copy");
        platform::OutputFile out;
        ASSERT_TRUE(out.Create(Native(tree.Root(), true), Native("out")));
        out.Write(big);
        EXPECT_EQ(out.Commit(), c.ok);
        // Whole or not at all: the older copy stays until a whole one replaces it.
        EXPECT_EQ(ReadBytes(tree.Path("out")), c.ok ? big : "older copy");
        EXPECT_EQ(testing_support::Snapshot(tree.Root()).size(), 1u) << "no temporary left";
    }
}

// Pieces copied and pieces written from where they lie, flushed now and then, come out in order,
// however few bytes the system takes at a time.
TEST_F(FaultInjection, PiecesComeOutInOrder)
{
    TempTree tree;
    std::vector<std::string> pieces;
    std::string all;
    for (int i = 0; i < 3000; ++i) {
        pieces.emplace_back(
            static_cast<std::size_t>(i * 37 % 1500), static_cast<char>('a' + i % 26));
        all += pieces.back();
    }
    struct Case {
        long budget;
        std::size_t chunk;
        bool ok;
    };
    for (const Case c :
        { Case { -1, 0, true }, Case { -1, 700, true }, Case { 1 << 20, 0, false } }) {
        SCOPED_TRACE(c.chunk);
        budget = c.budget;
        chunk = c.chunk;
        tree.Write("out", "older copy");
        platform::OutputFile out;
        ASSERT_TRUE(out.Create(Native(tree.Root(), true), Native("out")));
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i % 3 == 0) {
                out.Write(pieces[i]);
            } else {
                out.WriteInPlace(pieces[i]);
            }
            if (i % 1000 == 999) {
                out.Flush();
            }
        }
        EXPECT_EQ(out.Commit(), c.ok);
        EXPECT_EQ(ReadBytes(tree.Path("out")), c.ok ? all : "older copy");
    }
}

TEST(OutputFile, NeverWritesThroughALinkAndLeavesNothingWhenAbandoned)
{
    TempTree tree;
    const auto target = tree.Write("target", "keep");
    if (!tree.Link("target", "link")) {
        GTEST_SKIP() << "this system makes no links";
    }
    platform::OutputFile out;
    ASSERT_TRUE(out.Create(Native(tree.Root(), true), Native("link")));
    out.Write("new");
    EXPECT_TRUE(out.Commit());
    EXPECT_EQ(ReadBytes(target), "keep");
    EXPECT_EQ(ReadBytes(tree.Path("link")), "new");

    ASSERT_TRUE(out.Create(Native(tree.Root(), true), Native("target")));
    out.Write("half");
    out.Abandon();
    EXPECT_EQ(ReadBytes(target), "keep");
    EXPECT_EQ(testing_support::Snapshot(tree.Root()).size(), 2u) << "no temporary left";
}

} // namespace
