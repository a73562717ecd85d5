#include "platform/FieldReader.h"
#include "platform/SysCalls.h"
#include "platform/TextFile.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

using testing_support::ReadBytes;
using testing_support::TempTree;
using testing_support::U16;

namespace {

std::vector<std::string> ReadLines(const std::filesystem::path& path)
{
    platform::InputFile file;
    EXPECT_TRUE(file.Open(U16(path)));
    platform::LineReader reader(file);
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(line)) {
        lines.push_back(line);
    }
    EXPECT_FALSE(reader.Failed());
    return lines;
}

TEST(LineReader, SplitsAtCrLfAndLoneCrOnly)
{
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        { "", {} },
        { "a\r\nb\r\n", { "a", "b" } },
        { "a\r\nb", { "a", "b" } },
        { "a\rb\r", { "a", "b" } },
        { "a\nb\n", { "a\nb\n" } },
        { "\r\n\r\n", { "", "" } },
        { "a\r\r\nb", { "a", "", "b" } },
        { "x\r\n\n", { "x", "\n" } },
        { "\x82\xa0\r\n\x81\x0d\x0a", { "\x82\xa0", "\x81" } },
    };
    TempTree tree;
    for (const Case& c : cases) {
        EXPECT_EQ(ReadLines(tree.Write("f", c.bytes)), c.lines) << c.bytes;
    }
}

TEST(LineReader, LinesLongerThanTheBufferAndTerminatorsAcrossReads)
{
    TempTree tree;
    std::string bytes;
    std::vector<std::string> expected;
    for (int i = 0; i < 200; ++i) {
        std::string line(static_cast<std::size_t>(i * 977 % 70000), static_cast<char>('a' + i % 26));
        bytes += line + (i % 3 == 0 ? "\r" : "\r\n");
        expected.push_back(line);
    }
    EXPECT_EQ(ReadLines(tree.Write("long", bytes)), expected);
}

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
    void SetUp() override
    {
        budget = -1;
        failClose = false;
        platform::Sys().write = [](int fd, const void* data, std::size_t size) -> ssize_t {
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
    void TearDown() override { platform::Sys() = platform::RealSysCalls(); }
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
    for (const Case c : { Case { -1, false, true }, Case { 1000, false, false }, Case { -1, true, false } }) {
        budget = c.budget;
        failClose = c.failClose;
        platform::OutputFile out;
        ASSERT_TRUE(out.Create(U16(tree.Path("out"))));
        out.WriteRecord(big);
        EXPECT_EQ(out.Close(), c.ok);
    }
}

TEST(OutputFile, NeverWritesThroughALink)
{
    TempTree tree;
    const auto target = tree.Write("target", "keep");
    std::filesystem::create_symlink(target, tree.Path("link"));
    platform::OutputFile out;
    EXPECT_FALSE(out.Create(U16(tree.Path("link"))));
    EXPECT_EQ(ReadBytes(target), "keep");
}

} // namespace
