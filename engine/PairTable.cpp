#include "engine/PairTable.h"

#include "engine/CompiledPairs.h"
#include "platform/Cp932.h"
#include "platform/LowerCase.h"

#include <optional>

namespace engine {
namespace {

    constexpr std::size_t kMaxSpellings = 16;

    // The byte sequences in which a unit of a search text can stand in a line: every code of every
    // unit that lower-cases alike. ASCII letters need one, as the prefilter folds ASCII case itself.
    std::vector<std::string> Spellings(char16_t unit)
    {
        if (unit < 0x80) {
            return { std::string(1, static_cast<char>(unit)) };
        }
        std::vector<std::string> spellings;
        for (const char16_t partner : platform::CasePartners(unit)) {
            for (std::string& code : platform::Cp932Codes(partner)) {
                spellings.push_back(std::move(code));
            }
        }
        return spellings;
    }

    // The longest run of the search text whose spellings make at most kMaxSpellings byte strings;
    // any real occurrence of the text holds one of them. None when no line can hold the text.
    std::optional<std::vector<std::string>> NeedlesOf(const std::u16string& search)
    {
        std::vector<std::vector<std::string>> spellings;
        for (const char16_t unit : search) {
            spellings.push_back(Spellings(unit));
            if (spellings.back().empty()) {
                return std::nullopt;
            }
        }
        std::size_t bestStart = 0, bestLength = 0, left = 0, product = 1;
        for (std::size_t right = 0; right < spellings.size(); ++right) {
            product *= spellings[right].size();
            while (product > kMaxSpellings) {
                product /= spellings[left++].size();
            }
            if (right + 1 - left > bestLength) {
                bestStart = left;
                bestLength = right + 1 - left;
            }
        }
        if (bestLength == 0) {
            return std::vector<std::string> {};
        }
        std::vector<std::string> needles { std::string() };
        for (std::size_t i = bestStart; i < bestStart + bestLength; ++i) {
            std::vector<std::string> longer;
            for (const std::string& head : needles) {
                for (const std::string& tail : spellings[i]) {
                    longer.push_back(head + tail);
                }
            }
            needles = std::move(longer);
        }
        return needles;
    }

} // namespace

void AppendPair(PairTable& table, std::string_view searchBytes, std::string_view replaceBytes)
{
    table.SearchTexts.push_back(platform::DecodeCp932(searchBytes));
    table.ReplaceTexts.push_back(platform::DecodeCp932(replaceBytes));
    table.ReplaceBytes.emplace_back(replaceBytes);
    ++table.LastPairIndex;
}

void CompilePairs(PairTable& table)
{
    auto compiled = std::make_shared<CompiledPairs>();
    const int count = table.LastPairIndex + 1;
    compiled->pairs.resize(static_cast<std::size_t>(count));
    std::vector<std::vector<std::string>> needles(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        CompiledPair& pair = compiled->pairs[static_cast<std::size_t>(k)];
        const std::u16string& search = table.SearchTexts[static_cast<std::size_t>(k)];
        pair.lowerSearch = platform::LowerCase(search);
        pair.lowerReplace = platform::LowerCase(table.ReplaceTexts[static_cast<std::size_t>(k)]);
        pair.replaceBytes = table.ReplaceBytes[static_cast<std::size_t>(k)];
        const auto* bytes = reinterpret_cast<const unsigned char*>(pair.replaceBytes.data());
        for (std::size_t i = 0; i < pair.replaceBytes.size();) {
            pair.replaceOffsets.push_back(static_cast<std::uint32_t>(i));
            i += platform::DecodeCp932At(bytes + i, pair.replaceBytes.size() - i).length;
        }
        if (search.empty()) {
            continue;
        }
        // A text that no line can hold gets no needle and is never tried; one without a needle is
        // tried on every line.
        if (auto found = NeedlesOf(search)) {
            if (found->empty()) {
                compiled->unfiltered.push_back(k);
            }
            needles[static_cast<std::size_t>(k)] = std::move(*found);
        }
    }
    compiled->prefilter.Build(needles);
    table.compiled = std::move(compiled);
}

PairTable MakePairTable(const std::vector<std::pair<std::u16string, std::u16string>>& pairs)
{
    PairTable table;
    for (const auto& [search, replace] : pairs) {
        AppendPair(table, platform::EncodeCp932(search), platform::EncodeCp932(replace));
    }
    CompilePairs(table);
    return table;
}

} // namespace engine
