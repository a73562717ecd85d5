#pragma once

#include "engine/EditList.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

// How a copy differs from its input, line by line, found from the run's edits: for the diff the
// command line writes and for the changes the report window shows.
namespace engine::diff {

constexpr std::size_t kPiece = std::size_t(1) << 18;
constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

using engine::ReadFailure;

// One of the two files, read at offsets in pieces.
class Side {
public:
    bool Open(const std::u16string& path, const platform::FileStamp& stamp)
    {
        if (path.empty() || !file.Open(platform::NativePath::FromText(path))) {
            return false;
        }
        size = file.SizeAtOpen();
        return file.StampAtOpen() == stamp;
    }
    // The bytes [at, at + n), n at most kPiece, from the window last read, which is read anew
    // when it does not hold them: the diff reads each file in many small steps, mostly forward,
    // but steps back a few lines for a hunk's context and for the common end of a change. A
    // window read anew therefore begins a sixteenth of itself before at, so that those steps back
    // find their bytes in it instead of reading the whole window again for each change.
    std::string_view View(std::uint64_t at, std::size_t n);
    char At(std::uint64_t offset) { return View(offset, 1)[0]; }
    // What the window holds of the bytes before end, end > 0, for stepping back: at least one
    // byte, and a whole window, ending at end, when it has to be read anew.
    std::string_view Before(std::uint64_t end)
    {
        if (end - 1 < m_windowAt || end - 1 - m_windowAt >= m_windowSize) {
            const std::uint64_t start = end > kPiece ? end - kPiece : 0;
            View(start, static_cast<std::size_t>(end - start));
        }
        return { m_window.data(), static_cast<std::size_t>(end - m_windowAt) };
    }
    // take(piece, offset) for the bytes [begin, end) in order, until it says false; the pieces are
    // what the window holds of them.
    template <typename Take> void Pieces(std::uint64_t begin, std::uint64_t end, Take&& take)
    {
        for (std::uint64_t at = begin; at < end;) {
            if (at < m_windowAt || at - m_windowAt >= m_windowSize) {
                View(at, 1);
            }
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>(m_windowAt + m_windowSize - at, end - at));
            if (!take(View(at, n), at)) {
                return;
            }
            at += n;
        }
    }

    platform::InputFile file;
    std::uint64_t size = 0;

private:
    std::string m_window = std::string(kPiece, '\0');
    std::uint64_t m_windowAt = 0;
    std::size_t m_windowSize = 0;
};

// The LFs of a stretch: how many, and where the line after the last begins (begin when none).
struct LfScan {
    std::uint64_t count = 0;
    std::uint64_t afterLast = 0;
};

// Where the last LF of bytes is, npos when there is none.
std::size_t LastLf(std::string_view bytes);
// The LFs of [begin, end).
LfScan ScanLfs(Side& side, std::uint64_t begin, std::uint64_t end);
// The first LF in [begin, end), kNone when there is none.
std::uint64_t FirstLf(Side& side, std::uint64_t begin, std::uint64_t end);
// Lines as diff counts them: a last line without its LF is a line too.
std::uint64_t Lines(Side& side, std::uint64_t begin, std::uint64_t end);

// A stretch of whole lines in which the copy differs: [orgBegin, orgEnd) of the input and
// [copyBegin, copyEnd) of the copy, each with its first line's index and its number of lines.
struct Change {
    std::uint64_t orgBegin = 0, orgEnd = 0, copyBegin = 0, copyEnd = 0;
    std::uint64_t orgLine = 0, orgLines = 0, copyLine = 0, copyLines = 0;
};

// Goes through the input once, from edit to edit, widening each to the whole lines it touches.
class LineScan {
public:
    explicit LineScan(Side& org)
        : m_org(&org)
    {
    }
    // The bytes before at are counted: lines() LFs, the line in hand starting at lineStart().
    void AdvanceTo(std::uint64_t at)
    {
        const LfScan scan = ScanLfs(*m_org, m_pos, at);
        if (scan.count != 0) {
            m_lines += scan.count;
            m_lineStart = scan.afterLast;
        }
        m_pos = at;
    }
    // Where the line holding the byte at ends (after its LF, or at the end of the file).
    std::uint64_t LineEndFrom(std::uint64_t at)
    {
        if (at < m_pos) {
            return m_pos; // the line in hand was ended already
        }
        AdvanceTo(at);
        const std::uint64_t lf = FirstLf(*m_org, at, m_org->size);
        m_pos = lf == kNone ? m_org->size : lf + 1;
        if (lf != kNone) {
            ++m_lines;
            m_lineStart = m_pos;
        }
        return m_pos;
    }
    std::uint64_t Pos() const { return m_pos; }
    std::uint64_t Lines() const { return m_lines; }
    std::uint64_t LineStart() const { return m_lineStart; }

private:
    Side* m_org;
    std::uint64_t m_pos = 0;
    std::uint64_t m_lines = 0;
    std::uint64_t m_lineStart = 0;
};

// The changes of a copy in order, made edit by edit as they are asked for: edits on one line, or
// on lines next to each other, are one change, since diff shows their removed lines before their
// added ones. It holds one change at a time, so a file of millions of changed lines costs no more;
// a copy of it goes on from where it was copied.
class ChangeList {
public:
    ChangeList(Side& org, Side& copy, const EditList& edits)
        : m_org(&org)
        , m_copy(&copy)
        , m_edits(edits)
        , m_scan(org)
    {
    }
    // The next change; false after the last.
    bool Next(Change& change);

private:
    void Add(const Edit& edit);
    // The change in hand is complete: it is ready unless nothing is left of it.
    void Close();

    Side* m_org;
    Side* m_copy;
    EditList::Reader m_edits; // at the next edit to add
    LineScan m_scan;
    Change m_change; // in hand, or ready
    Change m_following; // begun by the edit that made m_change ready
    bool m_open = false; // a change is begun and not closed
    bool m_ready = false; // m_change is closed and not yet given
    std::uint64_t m_removed = 0; // input bytes the edits so far replaced
    std::uint64_t m_added = 0; // copy bytes they became
    std::uint64_t m_orgLinesBefore = 0; // lines of the changes closed, in the input
    std::uint64_t m_copyLinesBefore = 0; // and in the copy
};

// Whether the edits fit the two files as they are now: in order, inside the input, and making a
// copy of the copy's size.
bool EditsFit(const EditList& edits, std::uint64_t orgSize, std::uint64_t copySize);

} // namespace engine::diff
