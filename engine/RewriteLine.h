#pragma once

#include "engine/CompiledPairs.h"
#include "engine/PairTable.h"
#include "engine/TextEncoding.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// "'▼▼ ソースリプレース(vandor) ▼▼" in the file's encoding.
const std::string& ModificationMark(TextEncoding encoding = TextEncoding::Cp932);

// The line rewriting: one line (bytes without its terminator) through every pair in table order,
// then the mark and the line-break token. Matching is on decoded, lower-cased characters; bytes
// that no pair touched stay exactly the bytes that were read. Buffers are reused from line to
// line; a line costs its own length about twice, in the two buffers it is spliced between.
class LineRewriter {
public:
    LineRewriter(const PairTable& table, bool InsertMark);

    void SetEncoding(TextEncoding encoding) { m_encoding = encoding; }
    // Runs the pairs over the line and tells whether any matched. candidates, ascending, are the
    // pairs whose needles the prefilter found in the line; after a change the line is scanned
    // again, since a later pair may match text that this one inserted. The line may lie in the
    // buffer that LineBuffer gives.
    bool RewriteLine(std::string_view line, const std::vector<int>& candidates);
    // The changed line's records, each followed by CR LF: the mark line, then the line with its
    // line-break tokens expanded (nothing when the pairs emptied it).
    template <typename Write> void WriteRecords(Write&& write);

    // Starts bringing a pair's search text into the cache, for a line a little further on: among
    // a thousand pairs, each line's are seldom still there since the last line that needed them.
    void FetchIntoCache(int pair);

    // A buffer to read a line into that RewriteLine then splices in place of a copy.
    std::string& LineBuffer() { return m_buffers[0]; }
    // Replacements per pair since the last call, (pair, count) in table order.
    std::vector<std::pair<int, std::uint64_t>> TakeCounts();
    // The same, for a file whose copy is not kept.
    void ForgetCounts();
    // Gives back the memory that grew for long lines.
    void Trim(std::size_t kept);

private:
    // What the rewriting needs of a pair, worked out when a line first needs it: among a million
    // pairs, most are never looked for on any line.
    struct Prepared {
        Needle search; // empty: the pair matches nothing
        std::string utf8; // the replacement in UTF-8
    };
    static constexpr std::size_t kPage = 1024;
    const Prepared& Pair(int pair);
    // Splices every occurrence of the search text in the current line into buffer target.
    std::uint64_t ReplaceAll(const Needle& search, std::string_view replace, int target);
    template <typename Decode>
    std::uint64_t ReplaceAllWith(
        const Needle& needle, std::string_view replace, int target, Decode decode);
    void FindCandidates(std::string_view bytes, int after);

    const CompiledPairs& m_pairs;
    // By pair, in pages: 1 + where the pair is in m_prepared, 0 while it is not.
    std::vector<std::unique_ptr<std::uint32_t[]>> m_preparedAt;
    std::deque<Prepared> m_prepared;
    bool m_insertMark;
    TextEncoding m_encoding = TextEncoding::Cp932;
    std::string m_buffers[2];
    // Where inserted text meets the text around it, in each buffer: a character never spans one,
    // so the line keeps the characters it had, as if each piece had been decoded on its own.
    std::vector<std::size_t> m_joins[2];
    std::vector<std::size_t> m_noJoins;
    std::string_view m_line; // the result of the last RewriteLine
    int m_current = -1; // the buffer m_line lies in, -1 for the caller's
    std::vector<int> m_candidates;
    std::vector<Prefilter::Hit> m_hits;
    Prefilter::ScanBuffer m_scan;
    std::vector<std::size_t> m_starts; // the byte offsets of the last characters, around
    // Replacements since the last TakeCounts, by pair, and the pairs that have any.
    std::vector<std::uint64_t> m_counts;
    std::vector<int> m_counted;
};

template <typename Write> void LineRewriter::WriteRecords(Write&& write)
{
    if (m_insertMark) {
        write(ModificationMark(m_encoding));
        write(std::string_view("\r\n"));
    }
    if (m_line.empty()) {
        return; // the pairs emptied the line; token expansion never empties one
    }
    static const Needle token = MakeNeedle(u"_\\n_");
    const int other = m_current == 0 ? 1 : 0;
    // Only the byte 0x5C spells the token's backslash, in either encoding: a line without it is
    // not decoded once more.
    if (m_line.find('\\') != std::string_view::npos && ReplaceAll(token, "\r\n", other) != 0) {
        write(std::string_view(m_buffers[other]));
    } else {
        write(m_line);
    }
    write(std::string_view("\r\n"));
}

} // namespace engine
