#include "engine/ChangeScan.h"

#include <algorithm>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace engine::diff {
namespace {

// The LFs of a piece: sixteen bytes at once where the processor has SSE2 (every x86-64 has),
// each LF counted into its byte of a sum that cannot overflow in 255 rounds; then eight at once,
// where a byte that is LF becomes zero, and a zero byte, and only that, keeps its top bit through
// the sum below.
std::uint64_t CountLfs(std::string_view piece)
{
    std::uint64_t count = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    while (piece.size() - i >= 16) {
        const std::size_t rounds = std::min<std::size_t>((piece.size() - i) / 16, 255);
        __m128i sums = _mm_setzero_si128();
        for (std::size_t round = 0; round < rounds; ++round, i += 16) {
            const __m128i bytes
                = _mm_loadu_si128(reinterpret_cast<const __m128i*>(piece.data() + i));
            sums = _mm_sub_epi8(sums, _mm_cmpeq_epi8(bytes, lf)); // a match is -1
        }
        const __m128i total = _mm_sad_epu8(sums, _mm_setzero_si128());
        count += static_cast<std::uint64_t>(_mm_cvtsi128_si32(total))
            + static_cast<std::uint64_t>(_mm_extract_epi16(total, 4));
    }
#endif
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t low7 = 0x7F * ones;
    for (; i + 8 <= piece.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, piece.data() + i, 8);
        const std::uint64_t x = word ^ ('\n' * ones);
        const std::uint64_t zero = ~(((x & low7) + low7) | x | low7);
        // The top bits moved down are one per LF; the product's top byte sums them.
        count += ((zero >> 7) * ones) >> 56;
    }
    for (; i < piece.size(); ++i) {
        count += piece[i] == '\n' ? 1 : 0;
    }
    return count;
}

std::uint64_t CommonPrefix(
    Side& a, std::uint64_t aBegin, Side& b, std::uint64_t bBegin, std::uint64_t most)
{
    std::uint64_t same = 0;
    a.Pieces(aBegin, aBegin + most, [&](std::string_view piece, std::uint64_t at) {
        const std::string_view other = b.View(bBegin + (at - aBegin), piece.size());
        const auto differ = std::mismatch(piece.begin(), piece.end(), other.begin());
        same += static_cast<std::uint64_t>(differ.first - piece.begin());
        return differ.first == piece.end();
    });
    return same;
}

std::uint64_t CommonSuffix(
    Side& a, std::uint64_t aEnd, Side& b, std::uint64_t bEnd, std::uint64_t most)
{
    std::uint64_t same = 0;
    while (same < most) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, most - same));
        const std::string_view mine = a.View(aEnd - same - n, n);
        const std::string_view other = b.View(bEnd - same - n, n);
        std::size_t equal = 0;
        while (equal < n && mine[n - 1 - equal] == other[n - 1 - equal]) {
            ++equal;
        }
        same += equal;
        if (equal < n) {
            break;
        }
    }
    return same;
}

// Lines at either end of a change that came out as they were (a pair that put back the text
// it found, a line-break token that kept the line's start) are context, as diff shows them.
void TrimSameLines(Side& org, Side& copy, Change& c)
{
    const std::uint64_t orgLength = c.orgEnd - c.orgBegin;
    const std::uint64_t copyLength = c.copyEnd - c.copyBegin;
    const std::uint64_t same
        = CommonPrefix(org, c.orgBegin, copy, c.copyBegin, std::min(orgLength, copyLength));
    if (same == orgLength && same == copyLength) {
        c.orgLines = c.copyLines = 0;
        return;
    }
    const LfScan head = ScanLfs(org, c.orgBegin, c.orgBegin + same);
    const std::uint64_t cut = head.afterLast - c.orgBegin;
    c.orgBegin += cut;
    c.copyBegin += cut;
    c.orgLine += head.count;
    c.copyLine += head.count;
    c.orgLines -= head.count;
    c.copyLines -= head.count;
    const std::uint64_t room = std::min(c.orgEnd - c.orgBegin, c.copyEnd - c.copyBegin);
    const std::uint64_t tail = CommonSuffix(org, c.orgEnd, copy, c.copyEnd, room);
    if (tail == 0) {
        return;
    }
    std::uint64_t from = c.orgEnd - tail;
    const std::uint64_t copyFrom = c.copyEnd - tail;
    const bool startsLine = (from == c.orgBegin || org.At(from - 1) == '\n')
        && (copyFrom == c.copyBegin || copy.At(copyFrom - 1) == '\n');
    if (!startsLine) {
        const std::uint64_t lf = FirstLf(org, from, c.orgEnd);
        from = lf == kNone ? c.orgEnd : lf + 1;
    }
    const std::uint64_t lines = Lines(org, from, c.orgEnd);
    c.copyEnd -= c.orgEnd - from;
    c.orgEnd = from;
    c.orgLines -= lines;
    c.copyLines -= lines;
}

} // namespace

std::string_view Side::View(std::uint64_t at, std::size_t n)
{
    if (at < m_windowAt || at - m_windowAt + n > m_windowSize) {
        if (at > size || size - at < n) {
            throw ReadFailure {};
        }
        const std::uint64_t behind = std::min<std::uint64_t>({ at, kPiece / 16, kPiece - n });
        const std::uint64_t start = at - behind;
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size - start));
        // What the window holds already from start on moves to its front rather than being read
        // again: forward, the part behind would otherwise be read twice.
        std::size_t got = 0;
        if (start >= m_windowAt && start < m_windowAt + m_windowSize) {
            got = static_cast<std::size_t>(m_windowAt + m_windowSize - start);
            std::memmove(m_window.data(), m_window.data() + (start - m_windowAt), got);
        }
        while (got < length) {
            const long read = file.ReadAt(m_window.data() + got, length - got, start + got);
            if (read <= 0) {
                throw ReadFailure {};
            }
            got += static_cast<std::size_t>(read);
        }
        m_windowAt = start;
        m_windowSize = length;
    }
    return { m_window.data() + (at - m_windowAt), n };
}

std::size_t LastLf(std::string_view bytes)
{
    std::size_t end = bytes.size();
#ifdef __SSE2__
    // Sixteen bytes at a time from the end: a context of three lines steps back over a hundred
    // bytes or so before each change.
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end >= 16; end -= 16) {
        const __m128i chunk
            = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + end - 16));
        const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lf)));
        if (found != 0) {
            return end - 16 + static_cast<std::size_t>(31 - std::countl_zero(found));
        }
    }
#endif
    while (end > 0) {
        if (bytes[--end] == '\n') {
            return end;
        }
    }
    return std::string_view::npos;
}

LfScan ScanLfs(Side& side, std::uint64_t begin, std::uint64_t end)
{
    LfScan scan { 0, begin };
    side.Pieces(begin, end, [&scan](std::string_view piece, std::uint64_t at) {
        // One sweep over the piece, rather than a search per line: lines are short, and a search
        // costs more to start than to run.
        const std::uint64_t lfs = CountLfs(piece);
        if (lfs != 0) {
            scan.count += lfs;
            scan.afterLast = at + LastLf(piece) + 1;
        }
        return true;
    });
    return scan;
}

std::uint64_t FirstLf(Side& side, std::uint64_t begin, std::uint64_t end)
{
    std::uint64_t found = kNone;
    side.Pieces(begin, end, [&found](std::string_view piece, std::uint64_t at) {
        const std::size_t i = piece.find('\n');
        if (i != std::string_view::npos) {
            found = at + i;
        }
        return found == kNone;
    });
    return found;
}

std::uint64_t Lines(Side& side, std::uint64_t begin, std::uint64_t end)
{
    const bool unended = end > begin && end == side.size && side.At(end - 1) != '\n';
    return ScanLfs(side, begin, end).count + (unended ? 1 : 0);
}

bool ChangeList::Next(Change& change)
{
    Edit edit;
    while (!m_ready && m_edits.Next(edit)) {
        Add(edit);
    }
    if (!m_ready) {
        Close();
    }
    if (!m_ready) {
        return false;
    }
    change = m_change;
    m_ready = false;
    m_change = m_following;
    return true;
}

void ChangeList::Add(const Edit& edit)
{
    if (!m_open || edit.orgBegin >= m_scan.Pos()) {
        m_scan.AdvanceTo(edit.orgBegin);
        const std::uint64_t start = m_scan.LineStart();
        if (!m_open || start > m_change.orgEnd) {
            Close();
            Change& next = m_ready ? m_following : m_change;
            next = {};
            next.orgBegin = start;
            next.orgLine = m_scan.Lines();
            next.copyBegin = start - m_removed + m_added;
            m_open = true;
        }
    }
    Change& c = m_ready ? m_following : m_change;
    m_removed += edit.orgEnd - edit.orgBegin;
    m_added += edit.copyLength;
    c.orgEnd = m_scan.LineEndFrom(edit.orgEnd > edit.orgBegin ? edit.orgEnd - 1 : edit.orgBegin);
    const bool unended
        = c.orgEnd > c.orgBegin && c.orgEnd == m_org->size && m_org->At(c.orgEnd - 1) != '\n';
    c.orgLines = m_scan.Lines() - c.orgLine + (unended ? 1 : 0);
}

void ChangeList::Close()
{
    if (!m_open) {
        return;
    }
    m_open = false;
    Change& c = m_change;
    c.copyEnd = c.orgEnd - m_removed + m_added;
    c.copyLines = Lines(*m_copy, c.copyBegin, c.copyEnd);
    // Between changes the two files hold the same lines.
    c.copyLine = c.orgLine - m_orgLinesBefore + m_copyLinesBefore;
    m_orgLinesBefore += c.orgLines;
    m_copyLinesBefore += c.copyLines;
    TrimSameLines(*m_org, *m_copy, c);
    m_ready = c.orgLines + c.copyLines != 0;
}

// Whether the edits fit the two files as they are now: in order, inside the input, and making a
// copy of the copy's size.
bool EditsFit(const EditList& edits, std::uint64_t orgSize, std::uint64_t copySize)
{
    std::uint64_t at = 0;
    std::uint64_t removed = 0;
    std::uint64_t added = 0;
    EditList::Reader reader(edits);
    for (Edit edit; reader.Next(edit);) {
        if (edit.orgBegin < at || edit.orgEnd < edit.orgBegin || edit.orgEnd > orgSize) {
            return false;
        }
        at = edit.orgEnd;
        removed += edit.orgEnd - edit.orgBegin;
        added += edit.copyLength;
    }
    return orgSize - removed + added == copySize;
}

} // namespace engine::diff
