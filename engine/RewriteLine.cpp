#include "engine/RewriteLine.h"

#include "platform/Cp932.h"
#include "platform/LowerCase.h"

#include <algorithm>

namespace engine {
namespace {
    constexpr std::u16string_view kToken = u"_\\n_";
    const std::vector<std::uint32_t> kLineBreakOffsets { 0, 1 };
}

const std::string& ModificationMark()
{
    static const std::string mark = platform::EncodeCp932(u"'▼▼ ソースリプレース(vandor) ▼▼");
    return mark;
}

void DecodedLine::Load(std::string_view bytes)
{
    m_bytes.assign(bytes);
    // A line has at most one unit per byte: sized once, filled in place.
    m_lower.resize(bytes.size());
    m_offsets.resize(bytes.size() + 1);
    const platform::Cp932Decoder& decoder = platform::Cp932();
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t* lower = m_lower.data();
    std::uint32_t* offsets = m_offsets.data();
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char b = data[i];
        offsets[units] = static_cast<std::uint32_t>(i);
        if (b < 0x80) { // CP932 keeps ASCII as it is
            lower[units++] = static_cast<char16_t>(b >= 'A' && b <= 'Z' ? b | 0x20 : b);
            ++i;
            continue;
        }
        const platform::DecodedUnit d = decoder.At(data + i, bytes.size() - i);
        lower[units++] = platform::LowerCaseUnit(d.unit);
        i += d.length;
    }
    offsets[units] = static_cast<std::uint32_t>(bytes.size());
    m_lower.resize(units);
    m_offsets.resize(units + 1);
}

void DecodedLine::AppendUnits(std::size_t from, std::size_t to)
{
    const std::uint32_t base = static_cast<std::uint32_t>(m_nextBytes.size()) - m_offsets[from];
    for (std::size_t i = from; i < to; ++i) {
        m_nextOffsets.push_back(m_offsets[i] + base);
    }
    m_nextBytes.append(m_bytes, m_offsets[from], m_offsets[to] - m_offsets[from]);
    m_nextLower.append(m_lower, from, to - from);
}

bool DecodedLine::Replace(std::u16string_view lowerSearch, std::string_view replaceBytes,
    std::u16string_view lowerReplace, const std::vector<std::uint32_t>& replaceOffsets)
{
    if (lowerSearch.empty()) {
        return false;
    }
    std::size_t match = m_lower.find(lowerSearch);
    if (match == std::u16string::npos) {
        return false;
    }
    m_nextBytes.clear();
    m_nextLower.clear();
    m_nextOffsets.clear();
    std::size_t copied = 0;
    while (match != std::u16string::npos) {
        AppendUnits(copied, match);
        const auto base = static_cast<std::uint32_t>(m_nextBytes.size());
        for (const std::uint32_t offset : replaceOffsets) {
            m_nextOffsets.push_back(base + offset);
        }
        m_nextBytes.append(replaceBytes);
        m_nextLower.append(lowerReplace);
        // Searching on after the inserted text of the new line is searching on after the match in
        // the old one: inserted text is never searched again by the same pair.
        copied = match + lowerSearch.size();
        match = m_lower.find(lowerSearch, copied);
    }
    AppendUnits(copied, m_lower.size());
    m_nextOffsets.push_back(static_cast<std::uint32_t>(m_nextBytes.size()));
    m_bytes.swap(m_nextBytes);
    m_lower.swap(m_nextLower);
    m_offsets.swap(m_nextOffsets);
    return true;
}

void DecodedLine::ExpandLineBreakTokens() { Replace(kToken, "\r\n", u"\r\n", kLineBreakOffsets); }

LineRewriter::LineRewriter(const PairTable& table, bool insertMark)
    : m_pairs(*table.compiled)
    , m_insertMark(insertMark)
{
}

void LineRewriter::FindCandidates(std::string_view bytes, int after)
{
    m_candidates.clear();
    m_hits.clear();
    m_pairs.prefilter.Scan(bytes.data(), bytes.size(), m_hits);
    for (const Prefilter::Hit& hit : m_hits) {
        if (hit.pair > after) {
            m_candidates.push_back(hit.pair);
        }
    }
    for (const int pair : m_pairs.unfiltered) {
        if (pair > after) {
            m_candidates.push_back(pair);
        }
    }
    SortCandidates();
}

void LineRewriter::SortCandidates()
{
    std::sort(m_candidates.begin(), m_candidates.end());
    m_candidates.erase(std::unique(m_candidates.begin(), m_candidates.end()), m_candidates.end());
}

bool LineRewriter::Substitute(std::string_view line, const std::vector<int>* found)
{
    if (found != nullptr) {
        m_candidates.assign(found->begin(), found->end());
        m_candidates.insert(m_candidates.end(), m_pairs.unfiltered.begin(), m_pairs.unfiltered.end());
        SortCandidates();
    } else {
        FindCandidates(line, -1);
    }
    bool loaded = false;
    bool changed = false;
    // Pairs run in table order on the line as earlier pairs left it; after a change the candidates
    // are found again, since a later pair may match text that this one inserted.
    std::size_t next = 0;
    while (next < m_candidates.size()) {
        const int k = m_candidates[next];
        if (!loaded) {
            m_line.Load(line);
            loaded = true;
        }
        const CompiledPair& pair = m_pairs.pairs[static_cast<std::size_t>(k)];
        if (m_line.Replace(pair.lowerSearch, pair.replaceBytes, pair.lowerReplace, pair.replaceOffsets)) {
            changed = true;
            FindCandidates(m_line.Bytes(), k);
            next = 0;
        } else {
            ++next;
        }
    }
    return changed;
}

bool LineRewriter::Rewrite(std::string_view line, std::string& out, const std::vector<int>* found)
{
    if (!Substitute(line, found)) {
        return false;
    }
    if (m_insertMark) {
        out += ModificationMark();
        out += "\r\n";
    }
    // A line that the pairs emptied is dropped; token expansion never empties a line.
    if (!m_line.Bytes().empty()) {
        m_line.ExpandLineBreakTokens();
        out += m_line.Bytes();
        out += "\r\n";
    }
    return true;
}

RewrittenLine LineRewriter::Records(std::string_view line)
{
    RewrittenLine result;
    if (!Substitute(line, nullptr)) {
        result.Records.emplace_back(line);
        return result;
    }
    result.LineChanged = true;
    if (m_insertMark) {
        result.Records.push_back(ModificationMark());
    }
    if (!m_line.Bytes().empty()) {
        m_line.ExpandLineBreakTokens();
        result.Records.push_back(m_line.Bytes());
    }
    return result;
}

RewrittenLine RewriteLine(std::string_view line, const PairTable& table, bool InsertMark)
{
    if (!table.compiled) {
        PairTable compiled = table;
        CompilePairs(compiled);
        return LineRewriter(compiled, InsertMark).Records(line);
    }
    return LineRewriter(table, InsertMark).Records(line);
}

} // namespace engine
