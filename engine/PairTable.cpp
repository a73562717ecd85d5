#include "engine/PairTable.h"

#include "engine/CompiledPairs.h"
#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "platform/LowerCase.h"

#include <algorithm>
#include <optional>

namespace engine {
namespace {

constexpr std::size_t kMaxSpellings = 16;
constexpr auto kCp932 = static_cast<std::size_t>(TextEncoding::Cp932);
constexpr auto kUtf8 = static_cast<std::size_t>(TextEncoding::Utf8);

// The byte sequences in which a unit of a search text can stand in a line: every code of every
// unit that lower-cases alike. ASCII letters need one, as the prefilter folds ASCII case itself.
std::vector<std::string> Spellings(char16_t unit, TextEncoding encoding)
{
    if (unit < 0x80) {
        return { std::string(1, static_cast<char>(unit)) };
    }
    std::vector<std::string> spellings;
    for (const char16_t partner : platform::CasePartners(unit)) {
        if (encoding == TextEncoding::Utf8) {
            // A byte that was no character in the definition file is that byte, as in CP932:
            // it matches the same byte where a file with the UTF-8 mark is not UTF-8.
            spellings.push_back(platform::EncodeFileName(std::u16string_view(&partner, 1)));
            continue;
        }
        for (std::string& code : platform::Cp932Codes(partner)) {
            spellings.push_back(std::move(code));
        }
    }
    return spellings;
}

// The longest run of the search text whose spellings make at most kMaxSpellings byte strings;
// any real occurrence of the text holds one of them. None when no line can hold the text.
std::vector<std::string> NeedlesOf(const std::u16string& search, TextEncoding encoding)
{
    // ASCII alone, as most search texts are: one spelling for each unit, so the whole text.
    if (std::all_of(search.begin(), search.end(), [](char16_t unit) { return unit < 0x80; })) {
        return { std::string(search.begin(), search.end()) };
    }
    std::vector<std::vector<std::string>> spellings;
    for (const char16_t unit : search) {
        spellings.push_back(Spellings(unit, encoding));
        if (spellings.back().empty()) {
            return {};
        }
    }
    // A single unit has at most six spellings, so the best run is never empty.
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

std::shared_ptr<const CompiledPairs> Compile(const std::vector<std::u16string>& searchTexts,
    const std::vector<std::u16string>& replaceTexts, const std::vector<std::string>& replaceBytes)
{
    auto compiled = std::make_shared<CompiledPairs>();
    const std::size_t count = searchTexts.size();
    compiled->pairs.resize(count);
    std::vector<std::vector<std::string>> needles[2];
    needles[kCp932].resize(count);
    needles[kUtf8].resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        CompiledPair& pair = compiled->pairs[k];
        pair.search = MakeNeedle(searchTexts[k]);
        pair.replace[kCp932] = replaceBytes[k];
        // A byte that was no character in the definition file is written as that byte.
        pair.replace[kUtf8] = platform::EncodeFileName(replaceTexts[k]);
        if (!searchTexts[k].empty()) {
            needles[kCp932][k] = NeedlesOf(searchTexts[k], TextEncoding::Cp932);
            needles[kUtf8][k] = NeedlesOf(searchTexts[k], TextEncoding::Utf8);
        }
    }
    compiled->prefilter[kCp932].Build(needles[kCp932]);
    compiled->prefilter[kUtf8].Build(needles[kUtf8]);
    return compiled;
}

} // namespace

Needle MakeNeedle(std::u16string_view text)
{
    Needle needle;
    for (const char16_t unit : text) {
        needle.lower.push_back(platform::LowerCaseUnit(unit));
    }
    needle.fallback.assign(needle.lower.size(), 0);
    std::uint32_t k = 0;
    for (std::size_t i = 1; i < needle.lower.size(); ++i) {
        while (k > 0 && needle.lower[i] != needle.lower[k]) {
            k = needle.fallback[k - 1];
        }
        if (needle.lower[i] == needle.lower[k]) {
            ++k;
        }
        needle.fallback[i] = k;
    }
    return needle;
}

PairTable::PairTable()
    : m_compiled(Compile({}, {}, {}))
{
}

PairTable::PairTable(const std::vector<std::pair<std::string, std::string>>& fields)
{
    for (const auto& [search, replace] : fields) {
        m_searchTexts.push_back(platform::DecodeCp932(search));
        m_replaceTexts.push_back(platform::DecodeCp932(replace));
        m_replaceBytes.push_back(replace);
    }
    m_compiled = Compile(m_searchTexts, m_replaceTexts, m_replaceBytes);
}

} // namespace engine
