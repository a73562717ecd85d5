#pragma once

#include "engine/CompiledPairs.h"
#include "engine/PairTable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// "'▼▼ ソースリプレース(vandor) ▼▼" in CP932.
const std::string& ModificationMark();

struct RewrittenLine {
    bool LineChanged = false;
    // CP932 bytes of each record; the walk writes CR LF after each.
    std::vector<std::string> Records;
};

// One line (bytes, without its terminator) through every pair in table order, then the mark and
// the line-break token. Bytes that no pair touched are kept exactly as read.
RewrittenLine RewriteLine(std::string_view line, const PairTable& table, bool InsertMark);

// A line as bytes and as lower-cased units side by side, spliced together so that the bytes of
// every unit no pair touched stay the bytes that were read.
class DecodedLine {
public:
    void Load(std::string_view bytes);
    // Replaces every occurrence, left to right, resuming after the inserted text.
    bool Replace(std::u16string_view lowerSearch, std::string_view replaceBytes,
        std::u16string_view lowerReplace, const std::vector<std::uint32_t>& replaceOffsets);
    void ExpandLineBreakTokens();
    const std::string& Bytes() const { return m_bytes; }

private:
    void AppendUnits(std::size_t from, std::size_t to);

    std::string m_bytes;
    std::u16string m_lower;
    std::vector<std::uint32_t> m_offsets; // byte offset of each unit, then the end
    std::string m_nextBytes;
    std::u16string m_nextLower;
    std::vector<std::uint32_t> m_nextOffsets;
};

// The walk's form of RewriteLine, reusing its buffers from line to line.
class LineRewriter {
public:
    LineRewriter(const PairTable& table, bool insertMark);
    // For a changed line, appends its records, each followed by CR LF, and returns true; for an
    // unchanged one appends nothing and returns false. found, when given, holds the pairs whose
    // needles the caller's prefilter scan already found in the line.
    bool Rewrite(std::string_view line, std::string& out, const std::vector<int>* found = nullptr);
    RewrittenLine Records(std::string_view line);

private:
    bool Substitute(std::string_view line, const std::vector<int>* found);
    void FindCandidates(std::string_view bytes, int after);
    void SortCandidates();

    const CompiledPairs& m_pairs;
    bool m_insertMark;
    DecodedLine m_line;
    std::vector<int> m_candidates;
    std::vector<Prefilter::Hit> m_hits;
};

} // namespace engine
