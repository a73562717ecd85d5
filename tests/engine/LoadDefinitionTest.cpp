#include "engine/LoadDefinition.h"
#include "platform/FieldReader.h"
#include "platform/SysCalls.h"
#include "tests/support/SysCallsGuard.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

using engine::DefinitionOutcome;
using testing_support::Sjis;
using testing_support::TempTree;
using testing_support::U16;

namespace {

TEST(LoadDefinition, OutcomesAndTables)
{
    struct Case {
        std::string bytes;
        DefinitionOutcome outcome;
        int lastPairIndex;
        std::vector<std::u16string> search, replace;
    };
    const Case cases[] = {
        { "A,B\r\nC,D\r\n", DefinitionOutcome::Loaded, 1, { u"A", u"C" }, { u"B", u"D" } },
        { "A\r\nB\r\nC\r\nD\r\n", DefinitionOutcome::Loaded, 1, { u"A", u"C" }, { u"B", u"D" } },
        { "A,B,C,D", DefinitionOutcome::Loaded, 1, { u"A", u"C" }, { u"B", u"D" } },
        { "A,B\r\n\r\n\r\n", DefinitionOutcome::Loaded, 0, { u"A" }, { u"B" } },
        { "\"a, b\", x", DefinitionOutcome::Loaded, 0, { u"a, b" }, { u"x" } },
        { "Color,COLOUR", DefinitionOutcome::Loaded, 0, { u"Color" }, { u"COLOUR" } },
        { ",x", DefinitionOutcome::Loaded, 0, { u"" }, { u"x" } },
        { "x\n\n", DefinitionOutcome::NotPaired, 0, {}, {} },
        { "A,B,C", DefinitionOutcome::NotPaired, 1, {}, {} },
        { "A", DefinitionOutcome::NotPaired, 0, {}, {} },
        { "", DefinitionOutcome::Empty, -1, {}, {} },
        { " \r\n\t", DefinitionOutcome::Empty, -1, {}, {} },
    };
    TempTree tree;
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - std::data(cases)));
        engine::PairTable table;
        EXPECT_EQ(engine::LoadDefinition(U16(tree.Write("rules.txt", c.bytes)), table), c.outcome)
            << c.bytes;
        EXPECT_EQ(table.LastPairIndex(), c.lastPairIndex) << c.bytes;
        if (c.outcome == DefinitionOutcome::Loaded) {
            EXPECT_EQ(table.SearchTexts(), c.search);
            EXPECT_EQ(table.ReplaceTexts(), c.replace);
        }
    }
}

// A large definition is read in two pieces at once, split at a line start after its middle: the
// pairs are those one reader of the whole file finds, wherever a field or a pair lies across the
// split.
TEST(LoadDefinition, LargeDefinitionsReadInTwoPiecesAsInOne)
{
    std::string filler;
    for (int i = 0; filler.size() < (std::size_t(1) << 20); ++i) {
        filler += "key" + std::to_string(i) + ",value" + std::to_string(i) + "\r\n";
    }
    std::string quoted = "\"";
    for (int i = 0; i < 100; ++i) {
        quoted += "line " + std::to_string(i) + ", of a quoted text\r\n";
    }
    quoted += "\"";
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        { "pairs on lines of their own", filler },
        { "a quoted text with line breaks across the middle", filler + quoted + ",x\r\n" + filler },
        { "one field alone before the middle", "lonely\r\n" + filler + filler + "last\r\n" },
        { "an odd number of fields", "lonely\r\n" + filler + filler },
        { "fields on lines of their own around the middle",
            filler + std::string(500, '\n') + "a\nb\r\rc\n\n" + filler },
        { "blank lines at the end", filler + filler + " \r\n\t\r\n" },
    };
    TempTree tree;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::u16string> fields;
        platform::FieldReader reader(c.bytes);
        std::string field;
        while (reader.ReadField(field)) {
            fields.push_back(U16(field));
        }
        engine::PairTable table;
        const DefinitionOutcome outcome
            = engine::LoadDefinition(U16(tree.Write("rules.txt", c.bytes)), table);
        ASSERT_EQ(outcome,
            fields.size() % 2 == 0 ? DefinitionOutcome::Loaded : DefinitionOutcome::NotPaired);
        ASSERT_EQ(table.Count(), (fields.size() + 1) / 2);
        const std::vector<std::u16string> search = table.SearchTexts();
        const std::vector<std::u16string> replace = table.ReplaceTexts();
        for (std::size_t k = 0; k < table.Count(); ++k) {
            ASSERT_EQ(search[k], fields[2 * k]) << "pair " << k;
            ASSERT_EQ(replace[k], 2 * k + 1 < fields.size() ? fields[2 * k + 1] : u"")
                << "pair " << k;
        }
    }
}

// A field is taken for ASCII only when no byte of it is 0x80 or above, whatever its length and
// wherever that byte lies: a Japanese search text taken for ASCII would lose its other spellings.
TEST(LoadDefinition, AFieldIsAsciiOnlyWithoutAHighByteAnywhere)
{
    for (std::size_t length = 0; length <= 20; ++length) {
        const std::string plain(length, 'a');
        EXPECT_TRUE(engine::IsAscii(plain)) << length;
        for (std::size_t at = 0; at < length; ++at) {
            std::string high = plain;
            high[at] = '\x80';
            EXPECT_FALSE(engine::IsAscii(high)) << length << " " << at;
        }
    }
}

TEST(LoadDefinition, JapaneseTextsAndMoreThanAThousandPairs)
{
    TempTree tree;
    std::string bytes;
    for (int i = 0; i < 1500; ++i) {
        bytes += Sjis(u"検索" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10))) + ","
            + std::to_string(i) + "\r\n";
    }
    engine::PairTable table;
    ASSERT_EQ(engine::LoadDefinition(U16(tree.Write("rules.txt", bytes)), table),
        DefinitionOutcome::Loaded);
    EXPECT_EQ(table.LastPairIndex(), 1499);
    EXPECT_EQ(table.SearchTexts()[1234], u"検索4");
    EXPECT_EQ(table.ReplaceTexts()[1499], u"1499");
}

// A definition that the machine cannot hold is refused, never taken for one that is not paired:
// from its file's size alone before a byte of it is read, and when any block of the table cannot
// be had, wherever in the load that is.
TEST(LoadDefinition, TooLargeForTheMemoryThereIs)
{
    TempTree tree;
    const std::string bytes = Sjis(u"顧客,取引先\r\nＡＢＣ０,x\r\nid,no\r\n\"a,b\",\"\"\r\n");
    const std::u16string path = U16(tree.Write("rules.txt", bytes));
    testing_support::SysCallsGuard sys;
    static int reads = 0;
    sys->read = [](int fd, void* buffer, std::size_t size) {
        ++reads;
        return platform::RealSysCalls().read(fd, buffer, size);
    };
    const struct {
        std::uint64_t available;
        DefinitionOutcome outcome;
        bool read;
    } limits[] = {
        { 2 * engine::kBytesPerByte * bytes.size() - 1, DefinitionOutcome::TooLarge, false },
        { 2 * engine::kBytesPerByte * bytes.size(), DefinitionOutcome::TooLarge, true },
        { std::uint64_t(1) << 30, DefinitionOutcome::Loaded, true },
        { 0, DefinitionOutcome::Loaded, true }, // the system does not say
    };
    for (const auto& limit : limits) {
        static std::uint64_t available = 0;
        available = limit.available;
        sys->availableMemory = [] { return available; };
        reads = 0;
        engine::PairTable table;
        EXPECT_EQ(engine::LoadDefinition(path, table), limit.outcome) << limit.available;
        EXPECT_EQ(reads > 0, limit.read) << limit.available;
        EXPECT_EQ(table.LastPairIndex(), limit.outcome == DefinitionOutcome::Loaded ? 3 : -1);
    }
    sys->availableMemory = platform::RealSysCalls().availableMemory;
    static int blocksLeft = 0;
    sys->allocate = [](std::size_t size) {
        return blocksLeft-- > 0 ? platform::RealSysCalls().allocate(size) : nullptr;
    };
    // A table large enough for the bands of bits and buckets, made on two threads, has blocks of
    // its own: the filter, the buckets and their entries, and the second thread's filter and
    // counts.
    std::string large = bytes;
    for (int i = 0; i < 70000; ++i) {
        large += "identifier" + std::to_string(i) + ",name" + std::to_string(i) + "\r\n";
    }
    const struct {
        std::u16string path;
        int blocks; // at least
    } definitions[] = { { path, 4 }, // the file, its fields, the needles and their own bytes
        { U16(tree.Write("large.txt", large)), 9 } };
    for (const auto& definition : definitions) {
        for (int failing = 0;; ++failing) {
            SCOPED_TRACE("block " + std::to_string(failing));
            blocksLeft = failing;
            engine::PairTable table;
            const DefinitionOutcome outcome = engine::LoadDefinition(definition.path, table);
            if (blocksLeft >= 0) {
                EXPECT_EQ(outcome, DefinitionOutcome::Loaded);
                EXPECT_EQ(table.SearchText(1), u"ＡＢＣ０");
                EXPECT_GE(failing, definition.blocks);
                break;
            }
            EXPECT_EQ(outcome, DefinitionOutcome::TooLarge);
            EXPECT_EQ(table.LastPairIndex(), -1);
        }
    }
}

TEST(LoadDefinition, CannotOpenAMissingFileOrAFolder)
{
    TempTree tree;
    engine::PairTable table;
    EXPECT_EQ(engine::LoadDefinition(U16(tree.Path("missing.txt")), table),
        DefinitionOutcome::CannotOpen);
    EXPECT_EQ(engine::LoadDefinition(U16(tree.Root()), table), DefinitionOutcome::CannotOpen);
    EXPECT_EQ(table.LastPairIndex(), -1);
}

} // namespace
