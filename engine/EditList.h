#pragma once

#include <cstdint>
#include <vector>

namespace engine {

// One place where a copy differs from its input: the input's bytes [orgBegin, orgEnd) became
// copyLength bytes of the copy. Between edits the copy holds the input's bytes unchanged, so
// where an edit's bytes lie in the copy follows from the edits before it.
struct Edit {
    std::uint64_t orgBegin = 0;
    std::uint64_t orgEnd = 0;
    std::uint64_t copyLength = 0;
};

// The edits of one copy in input order, as the rewriter made them: changed lines (with the mark
// line and the lines a line-break token made), a lone CR's added LF, the last line's added line
// end. It holds no bytes: a copy's own bytes stay in the copy.
class EditList {
public:
    // The input's bytes [begin, end) became copyLength bytes; begin is at or after the last
    // edit's end. An edit that starts where the last one ended joins it.
    void Replace(std::uint64_t begin, std::uint64_t end, std::uint64_t copyLength);
    void Clear() { m_edits.clear(); }
    bool Empty() const { return m_edits.empty(); }
    const std::vector<Edit>& Edits() const { return m_edits; }

private:
    std::vector<Edit> m_edits;
};

} // namespace engine
