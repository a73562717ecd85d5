#include "engine/Prefilter.h"
#include "engine/CompiledPairs.h"
#include "platform/Cp932.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string_view>

namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

std::string Folded(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), FoldAscii);
    return text;
}

// Every occurrence of every needle, found by comparing every piece of the text of a needle's
// length with every needle of that length.
std::set<std::pair<std::size_t, int>> Occurrences(
    const std::string& text, const std::vector<std::vector<std::string>>& needles)
{
    std::map<std::string, std::set<int>> pairsOf;
    for (std::size_t k = 0; k < needles.size(); ++k) {
        for (const std::string& needle : needles[k]) {
            pairsOf[Folded(needle)].insert(static_cast<int>(k));
        }
    }
    std::set<std::size_t> lengths;
    for (const auto& [needle, pairs] : pairsOf) {
        lengths.insert(needle.size());
    }
    const std::string folded = Folded(text);
    std::set<std::pair<std::size_t, int>> found;
    for (std::size_t at = 0; at < folded.size(); ++at) {
        for (auto length = lengths.begin(); length != lengths.end(); ++length) {
            const auto same = pairsOf.find(folded.substr(at, *length));
            if (at + *length > folded.size() || same == pairsOf.end()) {
                continue;
            }
            for (const int k : same->second) {
                found.insert({ at + *length, k });
            }
        }
    }
    return found;
}

TEST(Prefilter, NeverMissesAnOccurrence)
{
    std::mt19937 random(2024);
    // With bytes that look alike but for their 0x20 bit ('@' and '`', CR and '-').
    const std::string alphabet = "aAbBxX0123 -@`\x82\x90\xff\r\n";
    auto pick = [&](std::size_t length, std::string_view from) {
        std::string text(length, ' ');
        for (char& c : text) {
            c = from[random() % from.size()];
        }
        return text;
    };
    const auto pickAny = [&](std::size_t length) { return pick(length, alphabet); };
    for (int round = 0; round < 300; ++round) {
        // Families of needles that share all but their ends, as definition files often hold.
        std::vector<std::vector<std::string>> needles;
        // Stems of letters alone, in every other round, are probed by the widest windows.
        const std::string stem = pick(random() % 12, round % 2 ? alphabet : "aAbBxX");
        // Three times, a table with enough needles of the lengths of one band for its bits and
        // buckets (eight bytes or more, five to seven, four), and a few of every other length
        // for the tables of the other bands.
        constexpr std::pair<std::size_t, std::size_t> largeBands[]
            = { { 8, 15 }, { 5, 7 }, { 4, 4 } };
        const bool large = round >= 25 && round < 28;
        const auto [shortest, longest]
            = large ? largeBands[round - 25] : std::pair<std::size_t, std::size_t> { 0, 0 };
        const int count = large ? static_cast<int>(engine::Prefilter::kLargeTable + random() % 1000)
                                : 1 + static_cast<int>(random() % 150);
        for (int k = 0; k < count; ++k) {
            std::vector<std::string> spellings;
            const int variants = 1 + static_cast<int>(random() % 2);
            for (int v = 0; v < variants; ++v) {
                std::string needle
                    = (random() % 2 ? stem : std::string()) + pickAny(1 + random() % 4);
                if (large && k % 500 != 0) {
                    const std::size_t length = shortest + random() % (longest - shortest + 1);
                    needle = (needle + pickAny(length)).substr(0, length);
                }
                spellings.push_back(needle);
            }
            needles.push_back(spellings);
        }
        std::string text;
        if (round % 10 == 0) {
            // Occurrences across the border between two regions that are probed one after another.
            text.assign(engine::Prefilter::kRegion - random() % 16, 'q');
        }
        const int pieces = static_cast<int>(random() % 200);
        for (int p = 0; p < pieces; ++p) {
            if (random() % 3 == 0) {
                const auto& spellings = needles[random() % needles.size()];
                text += spellings[random() % spellings.size()];
            } else {
                text += pickAny(random() % 30)
                    + std::string(
                        random() % 4 == 0 ? 100 : 0, alphabet[random() % alphabet.size()]);
            }
        }
        engine::Prefilter prefilter;
        prefilter.Build(needles);
        std::vector<engine::Prefilter::Hit> hits;
        prefilter.Scan(text.data(), text.size(), hits);
        std::set<std::pair<std::size_t, int>> reported;
        for (const auto& hit : hits) {
            reported.insert({ hit.end, hit.pair });
        }
        for (const auto& occurrence : Occurrences(text, needles)) {
            ASSERT_TRUE(reported.count(occurrence))
                << "round " << round << " end " << occurrence.first;
        }
        ASSERT_TRUE(std::is_sorted(
            hits.begin(), hits.end(), [](const auto& a, const auto& b) { return a.end < b.end; }));
    }
}

// A table of pairs large enough to be collected in two halves at once: every spelling of a search
// text is found, whichever half holds its pair, be it the definition's own bytes or spelled out.
TEST(Prefilter, ALargeTableFindsEverySpellingInEitherHalf)
{
    const struct {
        std::u16string search;
        std::string spelled; // as a line may hold it
    } rows[] = {
        { u"Alpha", "x = ALPHA" },
        { u"検索", platform::EncodeCp932(u"の検索を") },
        { u"ＡＢＣ", platform::EncodeCp932(u"（ａＢｃ）") },
        { u"\u2170", "(\xfa\x40)" }, // one character with two codes: ⅰ as NEC and IBM give it
        { u"\u2170", "(\xee\xef)" },
    };
    const std::size_t filler = engine::Prefilter::kLargeTable + 10;
    std::vector<std::pair<std::string, std::string>> fields;
    for (std::size_t k = 0; k < filler; ++k) {
        fields.emplace_back("filler" + std::to_string(k), "x");
    }
    const auto first = [](std::size_t r) { return 100 + r; };
    const auto second = [&](std::size_t r) { return filler - 100 - r; };
    for (std::size_t r = 0; r < std::size(rows); ++r) {
        fields[first(r)] = fields[second(r)] = { platform::EncodeCp932(rows[r].search), "y" };
    }
    const engine::PairTable table(fields);
    const engine::Prefilter& prefilter = table.Compiled().prefilter[0];
    for (std::size_t r = 0; r < std::size(rows); ++r) {
        std::vector<engine::Prefilter::Hit> hits;
        prefilter.Scan(rows[r].spelled.data(), rows[r].spelled.size(), hits);
        std::set<int> pairs;
        for (const auto& hit : hits) {
            pairs.insert(hit.pair);
        }
        for (const std::size_t k : { first(r), second(r) }) {
            EXPECT_EQ(table.SearchText(k), rows[r].search) << "row " << r;
            EXPECT_TRUE(pairs.count(static_cast<int>(k))) << "row " << r << ", pair " << k;
        }
    }
}

} // namespace
