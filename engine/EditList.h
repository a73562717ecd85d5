#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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
// end. It holds no bytes of the files, and its own edits packed: each as three numbers (the
// bytes since the edit before, the input's bytes, the copy's bytes) of seven bits a byte, in
// pieces of 64 KiB that are never moved, so that a file of half a million changed lines keeps a
// few megabytes of them, not a dozen, and never twice that while the list grows.
class EditList {
public:
    // The input's bytes [begin, end) became copyLength bytes; begin is at or after the last
    // edit's end. An edit that starts where the last one ended joins it.
    void Replace(std::uint64_t begin, std::uint64_t end, std::uint64_t copyLength);
    void Clear() { *this = {}; }
    bool Empty() const { return m_count == 0; }
    std::size_t Count() const { return m_count; }
    // Gives back memory kept for edits to come; for a list that is complete.
    void Shrink();

    // The edits from the first on; a copy goes on from where it was copied.
    class Reader {
    public:
        explicit Reader(const EditList& list)
            : m_list(&list)
        {
        }
        // The next edit; false after the last.
        bool Next(Edit& edit);

    private:
        const EditList* m_list;
        std::size_t m_piece = 0;
        std::size_t m_at = 0; // in the piece
        std::size_t m_given = 0;
        std::uint64_t m_end = 0; // of the edit last given
    };

private:
    void Pack(std::uint64_t value);

    std::vector<std::string> m_packed; // every edit but the last, whole in one piece each
    Edit m_last; // still open to the next, which may join it
    std::uint64_t m_packedEnd = 0; // the input end of the last edit packed
    std::size_t m_count = 0;
};

} // namespace engine
