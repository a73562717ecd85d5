#include "engine/EditList.h"
#include "platform/SysCalls.h"
#include "tests/support/SysCallsGuard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

namespace {

// Edits of a file of many changed lines: enough to fill a dozen pieces, with gaps and lengths of
// one to three packed bytes, and lines next to each other that join.
std::vector<engine::Edit> ManyEdits()
{
    std::vector<engine::Edit> edits;
    std::uint64_t at = 0;
    for (std::uint64_t i = 0; i < 60000; ++i) {
        at += i % 7 == 0 ? 0 : 1 + (i * 37) % 20000;
        const std::uint64_t length = i % 5 == 0 ? 0 : 1 + (i * 13) % 300;
        edits.push_back({ at, at + length, (i * 101) % 70000 });
        at += length + 1;
    }
    return edits;
}

std::vector<engine::Edit> ReadBack(const engine::EditList& list)
{
    std::vector<engine::Edit> edits;
    engine::EditList::Reader reader(list);
    for (engine::Edit edit; reader.Next(edit);) {
        edits.push_back(edit);
    }
    return edits;
}

bool Same(const engine::Edit& a, const engine::Edit& b)
{
    return a.orgBegin == b.orgBegin && a.orgEnd == b.orgEnd && a.copyLength == b.copyLength;
}

} // namespace

// A list reads back the edits it was given, whether its full pieces stayed in memory, went to
// the spill, or stayed because the spill could not be written; a copy of a reader goes on from
// where it was copied, also across a spilled piece it had read back.
TEST(EditList, ReadsBackWhatItWasGivenWhereverItsPiecesAre)
{
    struct Case {
        const char* name;
        bool spill;
        bool writable;
    };
    for (const Case& c : { Case { "in memory", false, true }, Case { "spilled", true, true },
             Case { "the spill cannot be written", true, false } }) {
        SCOPED_TRACE(c.name);
        testing_support::SysCallsGuard calls;
        if (!c.writable) {
            platform::Sys().write = [](int, const void*, std::size_t) -> ssize_t {
                errno = ENOSPC;
                return -1;
            };
        }
        const std::vector<engine::Edit> given = ManyEdits();
        engine::EditList list(c.spill ? std::make_shared<engine::EditSpill>() : nullptr);
        for (const engine::Edit& edit : given) {
            list.Replace(edit.orgBegin, edit.orgEnd, edit.copyLength);
        }
        list.Shrink();
        const std::vector<engine::Edit> back = ReadBack(list);
        ASSERT_EQ(back.size(), list.Count());
        std::vector<engine::Edit> joined;
        for (const engine::Edit& edit : given) {
            if (!joined.empty() && joined.back().orgEnd == edit.orgBegin) {
                joined.back().orgEnd = edit.orgEnd;
                joined.back().copyLength += edit.copyLength;
            } else {
                joined.push_back(edit);
            }
        }
        EXPECT_TRUE(std::equal(back.begin(), back.end(), joined.begin(), joined.end(), Same));

        engine::EditList::Reader reader(list);
        engine::Edit edit;
        for (std::size_t i = 0; i < back.size() / 2; ++i) {
            reader.Next(edit);
        }
        engine::EditList::Reader copy = reader;
        std::size_t rest = 0;
        while (copy.Next(edit) && Same(edit, back[back.size() / 2 + rest])) {
            ++rest;
        }
        EXPECT_EQ(back.size() / 2 + rest, back.size());
    }
}

// A spilled piece that cannot be read back is a read failure, as a file that cannot be read is,
// never edits made up.
TEST(EditList, ASpilledPieceThatCannotBeReadIsAReadFailure)
{
    testing_support::SysCallsGuard calls;
    engine::EditList list(std::make_shared<engine::EditSpill>());
    for (std::uint64_t i = 0; i < 20000; ++i) {
        list.Replace(i * 100, i * 100 + 10, 12);
    }
    platform::Sys().pread = [](int, void*, std::size_t, auto) -> ssize_t {
        errno = EIO;
        return -1;
    };
    engine::EditList::Reader reader(list);
    engine::Edit edit;
    EXPECT_THROW(reader.Next(edit), engine::ReadFailure);
}
