#include "engine/RewriteLine.h"

#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "platform/LowerCase.h"

#include <algorithm>
#include <utility>

namespace engine {
namespace {

struct Character {
    char32_t unit;
    std::size_t length;
};

char32_t Lower(char32_t unit)
{
    return unit < 0x10000 ? platform::LowerCaseUnit(static_cast<char16_t>(unit)) : unit;
}

struct Cp932Characters {
    const platform::Cp932Decoder& decoder = platform::Cp932();
    Character operator()(const unsigned char* p, std::size_t left) const
    {
        if (*p < 0x80) { // CP932 keeps ASCII as it is
            return { static_cast<char32_t>(*p), 1 };
        }
        const platform::DecodedUnit d = decoder.At(p, left);
        return { d.unit, d.length };
    }
};

// A byte that is not part of valid UTF-8 is an escape unit, as in CP932: it matches only itself.
struct Utf8Characters {
    Character operator()(const unsigned char* p, std::size_t left) const
    {
        const platform::Utf8Character c = platform::DecodeUtf8At(p, left);
        return { c.unit, c.length };
    }
};

// One more character of the line against the search text: true when the search text ends with
// it. Where a partial match fails it goes on from the longest part that still matches, so the
// line is never read twice.
inline bool Matches(const Needle& needle, std::size_t& matched, char32_t lower)
{
    const std::u32string& search = needle.lower;
    while (matched > 0 && search[matched] != lower) {
        matched = needle.fallback[matched - 1];
    }
    if (search[matched] == lower) {
        ++matched;
    }
    return matched == search.size();
}

// A line spliced together from pieces of the line before, with the joins inside them, and texts
// inserted between them, at whose both ends a join is marked.
struct Splice {
    std::string_view in;
    const std::vector<std::size_t>& joins;
    std::string& out;
    std::vector<std::size_t>& outJoins;

    void Start(std::size_t capacity)
    {
        out.clear();
        out.reserve(capacity);
        outJoins.clear();
    }
    // Copies in[from, to) with the joins inside it.
    void Copy(std::size_t from, std::size_t to)
    {
        const std::size_t shift = out.size() - from;
        for (auto j = std::upper_bound(joins.begin(), joins.end(), from);
             j != joins.end() && *j < to; ++j) {
            outJoins.push_back(*j + shift);
        }
        out.append(in, from, to - from);
    }
    void Insert(std::string_view text)
    {
        MarkJoin();
        out.append(text);
        MarkJoin();
    }
    void MarkJoin()
    {
        // Only a byte that may begin a character of several bytes could reach across.
        if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0x80
            && (outJoins.empty() || outJoins.back() != out.size())) {
            outJoins.push_back(out.size());
        }
    }
};

} // namespace

const std::string& ModificationMark(TextEncoding encoding)
{
    static const std::u16string text = u"'▼▼ ソースリプレース(vandor) ▼▼";
    static const std::string marks[2]
        = { platform::EncodeCp932(text), platform::EncodeFileName(text) };
    return marks[static_cast<std::size_t>(encoding)];
}

LineRewriter::LineRewriter(const PairTable& table, bool InsertMark)
    : m_pairs(table.Compiled())
    , m_insertMark(InsertMark)
{
}

template <typename Decode>
std::uint64_t LineRewriter::ReplaceAllWith(
    const Needle& needle, std::string_view replace, int target, Decode decode)
{
    const std::u32string& search = needle.lower;
    const std::size_t m = search.size();
    if (m == 0) {
        return 0; // an empty search text matches nothing
    }
    if (m_starts.size() < m) {
        m_starts.resize(m);
    }
    Splice splice { m_line, m_current < 0 ? m_noJoins : m_joins[m_current], m_buffers[target],
        m_joins[target] };
    const std::vector<std::size_t>& joins = splice.joins;
    const auto* data = reinterpret_cast<const unsigned char*>(m_line.data());
    const std::size_t n = m_line.size();
    std::size_t at = 0;
    std::size_t copied = 0;
    std::size_t join = 0; // the next join at or after at
    std::size_t matched = 0; // characters of the search text matched so far
    std::size_t slot = 0; // where the start of the next character goes in m_starts
    std::uint64_t count = 0;
    while (at < n) {
        while (join < joins.size() && joins[join] <= at) {
            ++join;
        }
        const std::size_t limit = join < joins.size() ? joins[join] : n;
        const Character c = decode(data + at, limit - at);
        const bool found = Matches(needle, matched, Lower(c.unit));
        m_starts[slot] = at;
        slot = slot + 1 == m ? 0 : slot + 1;
        at += c.length;
        if (!found) {
            continue;
        }
        if (count == 0) {
            // Sized once for a line of about the same length: growing by doubling would hold
            // the old and the new allocation at once, for a long line a third copy.
            splice.Start(n + replace.size());
        }
        // The match's first character is the oldest of the last m.
        splice.Copy(copied, m_starts[slot]);
        splice.Insert(replace);
        copied = at;
        ++count;
        // Inserted text is not searched again by the same pair, so "a" -> "aa" cannot loop.
        matched = 0;
    }
    if (count != 0) {
        splice.Copy(copied, n);
    }
    return count;
}

const LineRewriter::Prepared& LineRewriter::Pair(int pair)
{
    const auto k = static_cast<std::size_t>(pair);
    if (m_preparedAt.size() <= k / kPage) {
        m_preparedAt.resize(k / kPage + 1);
    }
    std::unique_ptr<std::uint32_t[]>& page = m_preparedAt[k / kPage];
    if (!page) {
        page = std::make_unique<std::uint32_t[]>(kPage);
    }
    std::uint32_t& at = page[k % kPage];
    if (at == 0) {
        const std::u16string replace = platform::DecodeCp932(m_pairs.ReplaceBytes(k));
        // A byte that was no character in the definition file is written as that byte.
        m_prepared.push_back({ MakeNeedle(platform::DecodeCp932(m_pairs.SearchBytes(k))),
            platform::EncodeFileName(replace) });
        at = static_cast<std::uint32_t>(m_prepared.size());
    }
    return m_prepared[at - 1];
}

void LineRewriter::FetchIntoCache(int pair)
{
    const Needle& needle = Pair(pair).search;
    __builtin_prefetch(needle.lower.data());
    __builtin_prefetch(needle.fallback.data());
}

std::uint64_t LineRewriter::ReplaceAll(const Needle& search, std::string_view replace, int target)
{
    if (m_encoding == TextEncoding::Utf8) {
        return ReplaceAllWith(search, replace, target, Utf8Characters {});
    }
    return ReplaceAllWith(search, replace, target, Cp932Characters {});
}

void LineRewriter::FindCandidates(std::string_view bytes, int after)
{
    m_candidates.clear();
    m_hits.clear();
    m_pairs.prefilter[static_cast<std::size_t>(m_encoding)].Scan(
        bytes.data(), bytes.size(), m_hits, m_scan);
    for (const Prefilter::Hit& hit : m_hits) {
        if (hit.pair > after) {
            m_candidates.push_back(hit.pair);
        }
    }
    std::sort(m_candidates.begin(), m_candidates.end());
    m_candidates.erase(std::unique(m_candidates.begin(), m_candidates.end()), m_candidates.end());
}

bool LineRewriter::RewriteLine(std::string_view line, const std::vector<int>& candidates)
{
    m_line = line;
    m_current = line.data() == m_buffers[0].data() ? 0
        : line.data() == m_buffers[1].data()       ? 1
                                                   : -1;
    if (m_current >= 0) {
        m_joins[m_current].clear(); // a line read into a buffer is one piece
    }
    m_candidates.assign(candidates.begin(), candidates.end());
    bool changed = false;
    // Pairs run in table order on the line as earlier pairs left it.
    std::size_t next = 0;
    while (next < m_candidates.size()) {
        const int k = m_candidates[next];
        const int target = m_current == 0 ? 1 : 0;
        const Prepared& pair = Pair(k);
        const std::uint64_t count = ReplaceAll(pair.search,
            m_encoding == TextEncoding::Utf8 ? std::string_view(pair.utf8)
                                             : m_pairs.ReplaceBytes(static_cast<std::size_t>(k)),
            target);
        if (count == 0) {
            ++next;
            continue;
        }
        changed = true;
        if (m_counts.size() <= static_cast<std::size_t>(k)) {
            m_counts.resize(m_pairs.count);
        }
        if (m_counts[static_cast<std::size_t>(k)] == 0) {
            m_counted.push_back(k);
        }
        m_counts[static_cast<std::size_t>(k)] += count;
        m_current = target;
        m_line = m_buffers[target];
        FindCandidates(m_line, k);
        next = 0;
    }
    return changed;
}

std::vector<std::pair<int, std::uint64_t>> LineRewriter::TakeCounts()
{
    std::sort(m_counted.begin(), m_counted.end());
    std::vector<std::pair<int, std::uint64_t>> counts;
    counts.reserve(m_counted.size());
    for (const int pair : m_counted) {
        counts.emplace_back(pair, std::exchange(m_counts[static_cast<std::size_t>(pair)], 0));
    }
    m_counted.clear();
    return counts;
}

void LineRewriter::ForgetCounts()
{
    for (const int pair : m_counted) {
        m_counts[static_cast<std::size_t>(pair)] = 0;
    }
    m_counted.clear();
}

void LineRewriter::Trim(std::size_t kept)
{
    for (std::string& buffer : m_buffers) {
        if (buffer.capacity() > kept) {
            std::string().swap(buffer);
        }
    }
    for (std::vector<std::size_t>& joins : m_joins) {
        if (joins.capacity() > kept / sizeof(std::size_t)) {
            std::vector<std::size_t>().swap(joins);
        }
    }
    if (m_starts.capacity() > kept / sizeof(std::size_t)) {
        std::vector<std::size_t>().swap(m_starts);
    }
    if (m_hits.capacity() > kept / sizeof(Prefilter::Hit)) {
        std::vector<Prefilter::Hit>().swap(m_hits);
    }
    m_line = {};
    m_current = -1;
}

} // namespace engine
