#include "engine/PairTable.h"

#include "engine/CompiledPairs.h"
#include "platform/Cp932.h"
#include "platform/LowerCase.h"

namespace engine {
namespace {

    // A unit whose bytes are the same in every occurrence, up to ASCII case: one CP932 code and no
    // case partner outside ASCII.
    bool HasOneSpelling(char16_t unit)
    {
        if (unit < 0x80) {
            return true;
        }
        return platform::Cp932CodeCount(unit) == 1 && !platform::HasCasePartner(unit);
    }

    // The longest run of units with one spelling; any real occurrence of the text holds its bytes.
    std::string NeedleOf(const std::u16string& search)
    {
        std::size_t bestStart = 0;
        std::size_t bestLength = 0;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= search.size(); ++i) {
            if (i == search.size() || !HasOneSpelling(search[i])) {
                if (i - start > bestLength) {
                    bestStart = start;
                    bestLength = i - start;
                }
                start = i + 1;
            }
        }
        return platform::EncodeCp932(std::u16string_view(search).substr(bestStart, bestLength));
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
    std::vector<std::string> needles(static_cast<std::size_t>(count));
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
        needles[static_cast<std::size_t>(k)] = NeedleOf(search);
        if (needles[static_cast<std::size_t>(k)].empty()) {
            compiled->unfiltered.push_back(k);
        }
    }
    if (!compiled->prefilter.Build(needles)) {
        // Without the prefilter every pair is tried on every line: slower, the same result.
        compiled->unfiltered.clear();
        for (int k = 0; k < count; ++k) {
            if (!table.SearchTexts[static_cast<std::size_t>(k)].empty()) {
                compiled->unfiltered.push_back(k);
            }
        }
    }
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
