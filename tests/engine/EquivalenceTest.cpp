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

// For many random trees, tables and options the walk's NEW tree is, byte for byte, what the
// straightforward rewriting gives for each file, and holds exactly the files that changed.
TEST(Equivalence, WalkMatchesTheReferenceOnRandomTrees)
{
    std::mt19937 random(31337);
    for (int round = 0; round < 300; ++round) {
        TempTree tree;
        std::vector<std::pair<std::string, std::string>> fields;
        const int pairs = 1 + static_cast<int>(random() % 5);
        for (int k = 0; k < pairs; ++k) {
            std::string search = RandomBytes(random, 2);
            search.erase(std::remove(search.begin(), search.end(), '\r'), search.end());
            fields.emplace_back(search, RandomBytes(random, 2));
        }
        const engine::PairTable table(fields);
        const bool mark = random() % 2 == 0;
        const bool subfolders = random() % 2 == 0;

        Tree expected;
        const char* folders[] = { "", "sub/", "sub/deeper/", ".hidden/" };
        for (int f = 0; f < 6; ++f) {
            const std::string folder = folders[random() % 4];
            const std::string name = folder + "f" + std::to_string(f) + ".bas";
            std::string bytes;
            const int lines = static_cast<int>(random() % 40);
            for (int l = 0; l < lines; ++l) {
                bytes += RandomBytes(random, 6);
            }
            tree.Write("org/proj/" + name, bytes);
            bool changed = false;
            const std::string copy = reference::RewriteFile(bytes, table, mark, changed);
            if (changed && (subfolders || folder.empty())) {
                expected["proj/" + name] = copy;
            }
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
        ASSERT_TRUE(unhandled.empty());
    }
}

} // namespace
