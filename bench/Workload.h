#pragma once

#include "bench/Random.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// One pair as the definition file holds it: CP932 bytes.
struct Pair {
    std::string search;
    std::string replace;
};

// The texts that make lines change. Target t is stem t / 10 followed by the digits 0 and t % 10;
// the first kAsciiStems stems are identifiers, the others Japanese terms with full-width digits.
// No other line ever holds a stem directly followed by a digit, so the 100, 1,000 and 10,000 pair
// definitions all match exactly the lines that hold a target: W3 compares pair counts alone.
class Targets {
public:
    static constexpr int kAsciiStems = 90;
    static constexpr int kStems = 100;
    static constexpr int kCount = kStems * 10;

    Targets();

    static bool IsJapanese(int target) { return target / 10 >= kAsciiStems; }
    // The target as a line of source spells it: Pascal, lower or upper case, maybe with a prefix.
    void AppendOccurrence(std::string& out, int target, Random& random) const;
    // 100: one pair per stem (stem and 0); 1,000: one per target; 10,000: the 1,000 followed by
    // 9,000 that share the stems but occur nowhere. Search texts are cased unlike the text.
    std::vector<Pair> Definition(int pairCount) const;
    // A renaming list of pairCount pairs (a multiple of 1,000): W1's 1,000 pairs spread evenly
    // among names that occur nowhere, identifiers as a code base spells them (Pascal, lower and
    // upper case, prefixed, snake case, message keys) and one in ten Japanese, each followed by
    // a number of three digits or more, which no line of the tree holds after a word.
    std::vector<Pair> RenamingDefinition(int pairCount, std::uint64_t seed) const;
    const std::vector<std::string>& AsciiStems() const { return m_asciiStems; }

private:
    Pair MakePair(int stem, std::string_view digits) const;

    std::vector<std::string> m_asciiStems; // Pascal case
    std::vector<std::u16string> m_japaneseStems;
};

struct TreeShape {
    int files = 0;
    std::uint64_t bytes = 0;
    double changingShare = 0; // files that hold targets
    double targetLineRate = 0; // lines that hold a target, within those files
};

struct TreeFacts {
    int files = 0;
    int folders = 0;
    std::uint64_t bytes = 0;
};

// A VB-like source tree under org (which must not exist yet), four folder levels deep.
TreeFacts GenerateTree(
    const std::string& org, const TreeShape& shape, const Targets& targets, std::uint64_t seed);

// Many small files under org (which must not exist yet): `files` files spread evenly over
// `folders` folders on two levels, each between minBytes and maxBytes long.
struct ManyFilesShape {
    int files = 0;
    int folders = 0;
    std::uint64_t minBytes = 0;
    std::uint64_t maxBytes = 0;
    double changingShare = 0;
    double targetLineRate = 0;
};
TreeFacts GenerateManyFiles(const std::string& org, const ManyFilesShape& shape,
    const Targets& targets, std::uint64_t seed);

// One source file of about the given size, written as it is made; returns its size.
std::uint64_t GenerateFile(const std::string& path, std::uint64_t bytes, double targetLineRate,
    const Targets& targets, std::uint64_t seed);

// "search,replace" lines with CR LF; a field is quoted when it holds a comma or starts with a
// space.
void WriteDefinition(const std::string& path, const std::vector<Pair>& pairs);

// GNU sed commands that make the same substitutions: s/LIT/REP/gI with metacharacters escaped.
std::string SedScript(const std::vector<Pair>& pairs);

} // namespace bench
