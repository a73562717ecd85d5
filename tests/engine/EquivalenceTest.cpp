#include "engine/ReplaceFolder.h"
#include "tests/engine/FakeWindow.h"
#include "tests/engine/Reference.h"
#include "tests/support/RandomText.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <random>

using testing_support::Snapshot;
using testing_support::TempTree;
using testing_support::U16;
using Tree = std::map<std::string, std::string>;

namespace {

// Pieces that make lines: letters in both cases, kana, both codes of doubly-coded characters,
// full-width letters, bytes that are not CP932, the line-break token, and every line end.
const std::vector<std::string> kPieces
    = { "ab", "AB", "b", "c", " ", "x = ", "\x82\xa0", "\xed\x40", "\xfa\x5c", "\x82\x60",
          "\x82\x81", "\xff", "\x81", "_\\n_", "\n", "\r", "\r\n", "\r\n", "\r\n" };

std::string RandomBytes(std::mt19937& random, std::size_t maxPieces)
{
    return testing_support::RandomText(random, maxPieces, kPieces);
}

const std::vector<std::string> kAsciiPieces
    = { "ab", "AB", "b", "c", " ", "x = ", "_\\n_", "\n", "\r", "\r\n" };
const std::vector<std::string> kLineEndPieces = { "\r", "\n", "\r\n" };
// The start of a UTF-8 character of two, three or four bytes, that the file then lacks.
const std::vector<std::string> kCutCharacters
    = { "\xc3", "\xe3", "\xe3\x81", "\xf0", "\xf0\x9f", "\xf0\x9f\x98" };
// The sizes at which the reader and the writer change their ways: small pieces copied, large
// pieces written from where they lie, a block, a line whole in one block.
const std::size_t kEdges[] = { 512, 1 << 16, 1 << 18, 1 << 20 };

std::string Pick(std::mt19937& random, const std::vector<std::string>& pieces)
{
    return pieces[random() % pieces.size()];
}

// A file of one of the shapes that a tree holds: lines at random, one line, line ends alone, lines
// that the pairs empty entirely, a line about as long as a block, or ASCII that ends inside a
// character. Long lines only where allowed: the reference rewrites them slowly.
std::string RandomFile(std::mt19937& random, const std::vector<std::string>& emptied, bool longLine)
{
    std::string bytes;
    switch (random() % 10) {
    case 0:
        bytes = RandomBytes(random, 6);
        if (random() % 2 == 0) {
            bytes += Pick(random, kLineEndPieces);
        }
        return bytes;
    case 1:
        for (auto n = random() % 6; n > 0; --n) {
            bytes += Pick(random, kLineEndPieces);
        }
        return bytes;
    case 2:
        for (auto n = 1 + random() % 4; n > 0 && !emptied.empty(); --n) {
            for (auto k = 1 + random() % 2; k > 0; --k) {
                bytes += Pick(random, emptied);
            }
            bytes += random() % 4 == 0 ? "\r" : "\r\n";
        }
        return bytes;
    case 3:
        bytes = testing_support::RandomText(random, 6, kAsciiPieces) + Pick(random, kCutCharacters);
        return bytes;
    case 4:
        if (longLine) {
            // The line, its hits near either end, first in the file or after a line of its own.
            const std::size_t length = kEdges[random() % std::size(kEdges)] + random() % 7 - 3;
            std::string line = RandomBytes(random, 3);
            line += std::string(length - std::min(length, line.size() + 8), 'k');
            line += RandomBytes(random, 3);
            bytes = random() % 2 == 0 ? std::string() : RandomBytes(random, 4) + "\r\n";
            return bytes + line + Pick(random, kLineEndPieces) + RandomBytes(random, 4);
        }
        [[fallthrough]];
    default:
        for (auto lines = random() % 40; lines > 0; --lines) {
            bytes += RandomBytes(random, 6);
        }
        return bytes;
    }
}

// For many random trees, tables and options the walk's NEW tree is, byte for byte, what the
// straightforward rewriting gives for each file, and holds exactly the files that changed.
TEST(Equivalence, WalkMatchesTheReferenceOnRandomTrees)
{
    std::mt19937 random(31337);
    for (int round = 0; round < 300; ++round) {
        TempTree tree;
        std::vector<std::pair<std::string, std::string>> fields;
        std::vector<std::string> emptied; // search texts whose pairs remove them
        const int pairs = 1 + static_cast<int>(random() % 5);
        for (int k = 0; k < pairs; ++k) {
            std::string search = RandomBytes(random, 2);
            search.erase(std::remove(search.begin(), search.end(), '\r'), search.end());
            std::string replace = random() % 3 == 0 ? std::string() : RandomBytes(random, 2);
            if (replace.empty() && !search.empty()) {
                emptied.push_back(search);
            }
            fields.emplace_back(search, replace);
        }
        const engine::PairTable table(fields);
        const bool mark = random() % 2 == 0;
        const bool subfolders = random() % 2 == 0;

        Tree expected;
        const char* folders[] = { "", "sub/", "sub/deeper/", ".hidden/" };
        for (int f = 0; f < 6; ++f) {
            const std::string folder = folders[random() % 4];
            const std::string name = folder + "f" + std::to_string(f) + ".bas";
            const std::string bytes = RandomFile(random, emptied, round % 10 == 0 && f == 0);
            tree.Write("org/proj/" + name, bytes);
            bool changed = false;
            const std::string copy = reference::RewriteFile(bytes, table, mark, changed);
            if (changed && (subfolders || folder.empty())) {
                expected["proj/" + name] = copy;
            }
        }
        // Half the trees are read ahead of the walk, as files nobody is editing are.
        if (round % 2 == 0) {
            tree.Age("org");
        }
        for (const auto& [name, bytes] : Tree(expected)) {
            for (std::size_t slash = name.find('/'); slash != std::string::npos;
                 slash = name.find('/', slash + 1)) {
                expected[name.substr(0, slash + 1)] = "";
            }
        }
        tree.MakeFolder("new");
        FakeWindow window;
        window.check1 = subfolders ? 1 : 0;
        auto fso = platform::CreateFileSystemObject();
        engine::RunReport report;
        const std::u16string unhandled
            = engine::ReplaceFolder(U16(tree.Path("org/proj"), true), U16(tree.Path("new"), true),
                *fso, mark, table, window, report, common::NativePathStyle());
        ASSERT_EQ(Snapshot(tree.Path("new")), expected) << "round " << round;
        ASSERT_TRUE(unhandled.empty()) << "round " << round;
    }
}

} // namespace
