#pragma once

#include "platform/ScratchFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// A file the edits or a copy are read from could not be read as the run left it.
struct ReadFailure { };

// Room on disk for the full pieces of a run's edit lists, shared by the lists of one run: a run
// of many changed lines then keeps in memory only the piece each list is filling. Pieces are
// written as lists fill them and read back once the lists are complete, from any thread.
class EditSpill {
public:
    // The piece's place; false when it could not be written, and then it stays in memory.
    bool Keep(std::string_view piece, std::uint64_t& at)
    {
        const std::lock_guard lock(m_lock);
        return m_file.Append(piece, at);
    }
    bool Read(std::uint64_t at, std::string& piece)
    {
        const std::lock_guard lock(m_lock);
        return m_file.ReadAt(piece.data(), piece.size(), at);
    }

private:
    std::mutex m_lock; // guards m_file
    platform::ScratchFile m_file;
};

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
// pieces of 16 KiB that are never moved, so that a file of half a million changed lines keeps a
// few megabytes of them, not a dozen, and never twice that while the list grows. With a spill,
// each full piece goes to disk, and only the one being filled stays.
class EditList {
public:
    EditList() = default;
    explicit EditList(std::shared_ptr<EditSpill> spill)
        : m_spill(std::move(spill))
    {
    }

    // The input's bytes [begin, end) became copyLength bytes; begin is at or after the last
    // edit's end. An edit that starts where the last one ended joins it.
    void Replace(std::uint64_t begin, std::uint64_t end, std::uint64_t copyLength);
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
        // The next edit; false after the last. Throws ReadFailure when a spilled piece cannot be
        // read back.
        bool Next(Edit& edit);

    private:
        void Load(std::size_t piece);

        const EditList* m_list;
        std::shared_ptr<const std::string> m_loaded; // a spilled piece read back, shared by copies
        const std::string* m_bytes = nullptr; // of the piece in hand
        std::size_t m_piece = 0;
        std::size_t m_at = 0; // in the piece
        std::size_t m_given = 0;
        std::uint64_t m_end = 0; // of the edit last given
    };

private:
    static constexpr std::uint64_t kInMemory = ~std::uint64_t(0);
    struct Piece {
        std::string bytes; // empty once spilled
        std::uint64_t spilledAt = kInMemory;
        std::size_t size = 0; // when spilled
    };

    void Pack(std::uint64_t value);
    void Spill(Piece& piece);

    std::shared_ptr<EditSpill> m_spill;
    std::vector<Piece> m_packed; // every edit but the last, whole in one piece each
    Edit m_last; // still open to the next, which may join it
    std::uint64_t m_packedEnd = 0; // the input end of the last edit packed
    std::size_t m_count = 0;
};

} // namespace engine
