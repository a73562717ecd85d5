#include "engine/RewriteLine.h"
#include "tests/engine/Reference.h"
#include "tests/support/RandomText.h"
#include "tests/support/Rewriting.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using testing_support::Sjis;

namespace {

using testing_support::RandomText;

using testing_support::MakePairTable;
using testing_support::Pairs;
using testing_support::RewriteLine;
using testing_support::RewrittenLine;

std::vector<std::string> SjisAll(const std::vector<std::u16string>& texts)
{
    std::vector<std::string> bytes;
    for (const auto& text : texts) {
        bytes.push_back(Sjis(text));
    }
    return bytes;
}

TEST(RewriteLine, WorkedExamples)
{
    const std::u16string mark = u"'▼▼ ソースリプレース(vandor) ▼▼";
    struct Case {
        Pairs pairs;
        std::u16string line;
        bool insertMark;
        bool changed;
        std::vector<std::u16string> records;
    };
    const Case cases[] = {
        { { { u"abc", u"ABCabc" } }, u"abc abc", false, true, { u"ABCabc ABCabc" } },
        { { { u"color", u"colour" } }, u"Color = COLOR", false, true, { u"colour = colour" } },
        { { { u"aa", u"b" } }, u"aaa", false, true, { u"ba" } },
        { { { u"a", u"b" }, { u"b", u"c" } }, u"ab", false, true, { u"cc" } },
        { { { u"b", u"c" }, { u"a", u"b" } }, u"ab", false, true, { u"bc" } },
        { { { u"x", u"" } }, u"x", false, true, {} },
        { { { u"x", u"" } }, u"x", true, true, { mark } },
        { { { u"x", u"y" } }, u"", true, false, { u"" } },
        { { { u"foo", u"bar_\\n_baz" } }, u"foo();", false, true, { u"bar\r\nbaz();" } },
        { { { u"foo", u"bar_\\n_baz" } }, u"foo();", true, true, { mark, u"bar\r\nbaz();" } },
        { { { u"x", u"y" } }, u"a_\\n_b", false, false, { u"a_\\n_b" } },
        { { { u"a", u"A" } }, u"a_\\N_b", false, true, { u"A\r\nb" } },
        { { { u"q", u"Q" } }, u"q_\\n__\\n_r", false, true, { u"Q\r\n\r\nr" } },
        { { { u"", u"never" } }, u"abc", false, false, { u"abc" } },
        { { { u"ａｂ", u"x" } }, u"ＡＢとab", false, true, { u"xとab" } },
        { { { u"Ω", u"o" } }, u"ωΩ", false, true, { u"oo" } },
        { { { u"データ", u"Data" } }, u"データとでーた", false, true, { u"Dataとでーた" } },
        { { { u"a", u"ab" }, { u"b", u"" } }, u"a", false, true, { u"a" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        const engine::PairTable table = MakePairTable(c.pairs);
        const RewrittenLine result = RewriteLine(Sjis(c.line), table, c.insertMark);
        EXPECT_EQ(result.LineChanged, c.changed);
        EXPECT_EQ(result.Records, SjisAll(c.records));
    }
}

TEST(RewriteLine, MarkLineIsTheFixedCommentIn35Bytes)
{
    EXPECT_EQ(engine::ModificationMark().size(), 35u);
    EXPECT_EQ(engine::ModificationMark().substr(1, 4), "\x81\xa5\x81\xa5");
}

TEST(RewriteLine, KeepsEveryByteNoPairTouched)
{
    engine::PairTable table;
    // The search text in one code of a doubly-coded kanji; the line holds the other code.
    table = engine::PairTable({ { "\xed\x40", "X" },
        { "abc", "\xfa\x5c" } }); // the replacement's bytes as the definition holds them
    struct Case {
        std::string line;
        bool changed;
        std::string record;
    };
    const Case cases[] = {
        { "\xfa\x5c-\xed\x40", true, "X-X" },
        { "\xee\xf9\x81\x85\xff", false, "\xee\xf9\x81\x85\xff" },
        { "\xee\xf9 ABC \xff\x81", true, "\xee\xf9 \xfa\x5c \xff\x81" },
        { "\x82\x61\x62\x63", false,
            "\x82\x61\x62\x63" }, // "bc" behind a trail byte 'a' is not "abc"
        { "\x81\x61\x62\x63", false, "\x81\x61\x62\x63" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        const RewrittenLine result = RewriteLine(c.line, table, false);
        EXPECT_EQ(result.LineChanged, c.changed);
        ASSERT_EQ(result.Records.size(), 1u);
        EXPECT_EQ(result.Records[0], c.record);
    }
}

TEST(RewriteLine, FindsEveryOccurrenceAfterLongRunsOfOneByte)
{
    // A multi-pattern matcher that lost matches behind floods of one byte once left such lines
    // unchanged without a word.
    const engine::PairTable table = MakePairTable({ { u"old", u"new" }, { u"ox", u"bx" } });
    for (const char flood : { '-', ' ', '\x90', '\xff' }) {
        for (std::size_t n = 0; n < 300; ++n) {
            const std::string line = "'" + std::string(n, flood) + " OLD";
            const RewrittenLine result = RewriteLine(line, table, false);
            ASSERT_TRUE(result.LineChanged) << n;
            EXPECT_EQ(result.Records[0].substr(result.Records[0].size() - 3), "new");
        }
    }
}

engine::PairTable RandomTable(std::mt19937& random)
{
    std::vector<std::pair<std::string, std::string>> fields;
    const int count = 1 + static_cast<int>(random() % 6);
    for (int k = 0; k < count; ++k) {
        fields.emplace_back(RandomText(random, 3), RandomText(random, 3));
    }
    return engine::PairTable(fields);
}

TEST(RewriteLine, AgreesByteForByteWithTheReference)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        const engine::PairTable table = RandomTable(random);
        const std::string line = RandomText(random, 12);
        const bool mark = random() % 2 == 0;
        const RewrittenLine fast = RewriteLine(line, table, mark);
        const reference::Result expected = reference::Rewrite(line, table, mark);
        ASSERT_EQ(fast.LineChanged, expected.changed) << round;
        ASSERT_EQ(fast.Records, expected.records) << round;
    }
}

std::string SedEscape(const std::string& text, const std::string& special)
{
    std::string escaped;
    for (const char c : text) {
        if (special.find(c) != std::string::npos) {
            escaped.push_back('\\');
        }
        escaped.push_back(c);
    }
    return escaped;
}

TEST(RewriteLine, PairStageAgreesWithGnuSed)
{
#ifdef _WIN32
    GTEST_SKIP() << "GNU sed is not at hand on Windows";
#endif
    testing_support::TempTree tree;
    std::mt19937 random(99);
    const std::string alphabet = "aAbBcC .*[]^$/\\&-";
    auto randomAscii = [&](std::size_t min, std::size_t max) {
        std::string text(min + random() % (max - min + 1), ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<std::pair<std::string, std::string>> fields;
        std::string script;
        const int count = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < count; ++k) {
            const std::string search = randomAscii(1, 3);
            const std::string replace = randomAscii(0, 3);
            fields.emplace_back(search, replace);
            script += "s/" + SedEscape(search, "\\/.*[]^$") + "/" + SedEscape(replace, "\\/&")
                + "/gI\n";
        }
        const engine::PairTable table(fields);
        std::vector<std::string> lines;
        std::string input;
        for (int i = 0; i < 20; ++i) {
            lines.push_back(randomAscii(0, 12));
            input += lines.back() + "\n";
        }
        tree.Write("script.sed", script);
        tree.Write("input.txt", input);
        const std::string command = "LC_ALL=C sed -f '" + tree.Path("script.sed").string() + "' '"
            + tree.Path("input.txt").string() + "' > '" + tree.Path("output.txt").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::string sedOutput = testing_support::ReadBytes(tree.Path("output.txt"));
        std::string ours;
        for (const std::string& line : lines) {
            const RewrittenLine result = RewriteLine(line, table, false);
            ours += (result.Records.empty() ? std::string() : result.Records[0]) + "\n";
        }
        ASSERT_EQ(ours, sedOutput) << script;
    }
}

} // namespace
