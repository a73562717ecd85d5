#include "engine/UnifiedDiff.h"

#include "engine/ReportText.h"
#include "platform/FileName.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>
#include <type_traits>
#include <vector>

namespace engine {
namespace {

constexpr std::size_t kPiece = std::size_t(1) << 18;
constexpr std::uint64_t kContext = 3;
constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

struct ReadFailure { };

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
    // window read anew therefore begins a quarter of itself before at, so that those steps back
    // find their bytes in it instead of reading the whole window again for each change.
    std::string_view View(std::uint64_t at, std::size_t n)
    {
        if (at < m_windowAt || at - m_windowAt + n > m_windowSize) {
            if (at > size || size - at < n) {
                throw ReadFailure {};
            }
            const std::uint64_t behind = std::min<std::uint64_t>({ at, kPiece / 4, kPiece - n });
            const std::uint64_t start = at - behind;
            const auto length
                = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size - start));
            for (std::size_t got = 0; got < length;) {
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
    char At(std::uint64_t offset) { return View(offset, 1)[0]; }
    // What the window holds of the bytes before end, end > 0, for stepping back: at least one
    // byte, and a quarter of the window when it has to be read anew.
    std::string_view Before(std::uint64_t end)
    {
        View(end - 1, 1);
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

// The LFs of a piece, eight bytes at once: a byte that is LF becomes zero, and a zero byte, and
// only that, keeps its top bit through the sum below.
std::uint64_t CountLfs(std::string_view piece)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t low7 = 0x7F * ones;
    std::uint64_t count = 0;
    std::size_t i = 0;
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

LfScan ScanLfs(Side& side, std::uint64_t begin, std::uint64_t end)
{
    LfScan scan { 0, begin };
    side.Pieces(begin, end, [&scan](std::string_view piece, std::uint64_t at) {
        // One sweep over the piece, rather than a search per line: lines are short, and a search
        // costs more to start than to run.
        const std::uint64_t lfs = CountLfs(piece);
        if (lfs != 0) {
            scan.count += lfs;
            scan.afterLast = at + piece.rfind('\n') + 1;
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

// Lines as diff counts them: a last line without its LF is a line too.
std::uint64_t Lines(Side& side, std::uint64_t begin, std::uint64_t end)
{
    const bool unended = end > begin && end == side.size && side.At(end - 1) != '\n';
    return ScanLfs(side, begin, end).count + (unended ? 1 : 0);
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

// A stretch of whole lines in which the copy differs: [orgBegin, orgEnd) of the input and
// [copyBegin, copyEnd) of the copy, each with its first line's index and its number of lines.
struct Change {
    std::uint64_t orgBegin = 0, orgEnd = 0, copyBegin = 0, copyEnd = 0;
    std::uint64_t orgLine = 0, orgLines = 0, copyLine = 0, copyLines = 0;
};

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

// Goes through the input once, from edit to edit, widening each to the whole lines it touches.
class LineScan {
public:
    explicit LineScan(Side& org)
        : m_org(org)
    {
    }
    // The bytes before at are counted: lines() LFs, the line in hand starting at lineStart().
    void AdvanceTo(std::uint64_t at)
    {
        const LfScan scan = ScanLfs(m_org, m_pos, at);
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
        const std::uint64_t lf = FirstLf(m_org, at, m_org.size);
        m_pos = lf == kNone ? m_org.size : lf + 1;
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
    Side& m_org;
    std::uint64_t m_pos = 0;
    std::uint64_t m_lines = 0;
    std::uint64_t m_lineStart = 0;
};

// The changes of a copy in order, made edit by edit as they are asked for: edits on one line, or
// on lines next to each other, are one change, since diff shows their removed lines before their
// added ones. It holds one change at a time, so a file of millions of changed lines costs no more.
class ChangeList {
public:
    ChangeList(Side& org, Side& copy, const std::vector<Edit>& edits)
        : m_org(org)
        , m_copy(copy)
        , m_edits(edits)
        , m_scan(org)
    {
    }
    // The next change; false after the last.
    bool Next(Change& change)
    {
        while (!m_ready && m_next < m_edits.size()) {
            Add(m_edits[m_next++]);
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

private:
    void Add(const Edit& edit)
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
        c.orgEnd
            = m_scan.LineEndFrom(edit.orgEnd > edit.orgBegin ? edit.orgEnd - 1 : edit.orgBegin);
        const bool unended
            = c.orgEnd > c.orgBegin && c.orgEnd == m_org.size && m_org.At(c.orgEnd - 1) != '\n';
        c.orgLines = m_scan.Lines() - c.orgLine + (unended ? 1 : 0);
    }
    // The change in hand is complete: it is ready unless nothing is left of it.
    void Close()
    {
        if (!m_open) {
            return;
        }
        m_open = false;
        Change& c = m_change;
        c.copyEnd = c.orgEnd - m_removed + m_added;
        c.copyLines = Lines(m_copy, c.copyBegin, c.copyEnd);
        // Between changes the two files hold the same lines.
        c.copyLine = c.orgLine - m_orgLinesBefore + m_copyLinesBefore;
        m_orgLinesBefore += c.orgLines;
        m_copyLinesBefore += c.copyLines;
        TrimSameLines(m_org, m_copy, c);
        m_ready = c.orgLines + c.copyLines != 0;
    }

    Side& m_org;
    Side& m_copy;
    const std::vector<Edit>& m_edits;
    LineScan m_scan;
    std::size_t m_next = 0; // the next edit to add
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
bool EditsFit(const std::vector<Edit>& edits, std::uint64_t orgSize, std::uint64_t copySize)
{
    std::uint64_t at = 0;
    std::uint64_t removed = 0;
    std::uint64_t added = 0;
    for (const Edit& edit : edits) {
        if (edit.orgBegin < at || edit.orgEnd < edit.orgBegin || edit.orgEnd > orgSize) {
            return false;
        }
        at = edit.orgEnd;
        removed += edit.orgEnd - edit.orgBegin;
        added += edit.copyLength;
    }
    return orgSize - removed + added == copySize;
}

// Up to n whole lines of the input before a line start, or after a line end.
struct Context {
    std::uint64_t pos = 0;
    std::uint64_t lines = 0;
};

Context LinesBefore(Side& org, std::uint64_t pos, std::uint64_t n)
{
    // The LF just before pos ends the line before; n lines back begin after the (n+1)-th LF.
    std::uint64_t lfs = 0;
    for (std::uint64_t end = pos; end > 0;) {
        const std::string_view piece = org.Before(end);
        const std::size_t size = piece.size();
        for (std::size_t i = size; i > 0; --i) {
            if (piece[i - 1] == '\n' && ++lfs == n + 1) {
                return { end - size + i, n };
            }
        }
        end -= size;
    }
    return { 0, lfs };
}

Context LinesAfter(Side& org, std::uint64_t pos, std::uint64_t n)
{
    Context after { pos, 0 };
    while (after.lines < n && after.pos < org.size) {
        const std::uint64_t lf = FirstLf(org, after.pos, org.size);
        after.pos = lf == kNone ? org.size : lf + 1;
        ++after.lines;
    }
    return after;
}

// A hunk's range as diff writes it: an empty one is named by the line before it.
std::string Range(std::uint64_t first, std::uint64_t count)
{
    if (count == 0) {
        return std::to_string(first) + ",0";
    }
    if (count == 1) {
        return std::to_string(first + 1);
    }
    return std::to_string(first + 1) + "," + std::to_string(count);
}

// Whole lines of one file, each after its mark; a last line without LF is ended as diff ends it.
void WriteLines(Side& side, std::uint64_t begin, std::uint64_t end, char mark, std::ostream& out)
{
    bool lineStart = true;
    side.Pieces(begin, end, [&](std::string_view piece, std::uint64_t) {
        for (std::size_t from = 0; from < piece.size();) {
            if (lineStart) {
                out.put(mark);
            }
            const std::size_t lf = piece.find('\n', from);
            const std::size_t to = lf == std::string_view::npos ? piece.size() : lf + 1;
            out.write(piece.data() + from, static_cast<std::streamsize>(to - from));
            lineStart = lf != std::string_view::npos;
            from = to;
        }
        return true;
    });
    if (!lineStart) {
        out << "\n\\ No newline at end of file\n";
    }
}

// The hunk from change a to change z; changes gives them again, a first.
void WriteHunk(
    Side& org, Side& copy, const Change& a, const Change& z, ChangeList& changes, std::ostream& out)
{
    const Context lead = LinesBefore(org, a.orgBegin, kContext);
    const Context trail = LinesAfter(org, z.orgEnd, kContext);
    const std::uint64_t orgCount = lead.lines + (z.orgLine + z.orgLines - a.orgLine) + trail.lines;
    const std::uint64_t copyCount
        = lead.lines + (z.copyLine + z.copyLines - a.copyLine) + trail.lines;
    out << "@@ -" << Range(a.orgLine - lead.lines, orgCount) << " +"
        << Range(a.copyLine - lead.lines, copyCount) << " @@\n";
    std::uint64_t after = lead.pos; // the input is written up to here
    Change c;
    do {
        if (!changes.Next(c)) {
            throw ReadFailure {}; // the second reading did not give what the first gave
        }
        WriteLines(org, after, c.orgBegin, ' ', out);
        WriteLines(org, c.orgBegin, c.orgEnd, '-', out);
        WriteLines(copy, c.copyBegin, c.copyEnd, '+', out);
        after = c.orgEnd;
    } while (c.orgBegin != z.orgBegin);
    WriteLines(org, z.orgEnd, trail.pos, ' ', out);
}

// A name as diff writes it: in double quotes, with C escapes, when it holds a character that
// would end or split it.
std::string QuotedName(std::string_view name)
{
    const bool plain = std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F || c == '"' || c == '\\';
    });
    if (plain) {
        return std::string(name);
    }
    std::string quoted = "\"";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\t' || c == '\n') {
            quoted += c == '\t' ? "\\t" : "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            const char octal[] = { '\\', static_cast<char>('0' + (byte >> 6)),
                static_cast<char>('0' + ((byte >> 3) & 7)), static_cast<char>('0' + (byte & 7)),
                '\0' };
            quoted += octal;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

} // namespace

DiffOutcome WriteFileDiff(const ChangedFile& file, const FileEdits& edits, std::string_view name,
    std::string_view time, std::ostream& out)
{
    Side org;
    Side copy;
    if (!org.Open(file.path, edits.orgStamp) || !copy.Open(edits.copy, edits.copyStamp)) {
        return DiffOutcome::ChangedSinceRun;
    }
    if (!EditsFit(edits.edits.Edits(), org.size, copy.size)) {
        return DiffOutcome::ChangedSinceRun;
    }
    try {
        // One reading finds where each hunk ends, for its header; a second, behind it, writes it.
        ChangeList ahead(org, copy, edits.edits.Edits());
        ChangeList behind(org, copy, edits.edits.Edits());
        Change next;
        for (bool more = ahead.Next(next), first = true; more; first = false) {
            const Change a = next;
            Change z = next;
            // Changes at most twice the context apart share a hunk, as in diff.
            while ((more = ahead.Next(next))
                && next.orgLine - (z.orgLine + z.orgLines) <= 2 * kContext) {
                z = next;
            }
            if (first) {
                out << "--- " << QuotedName("a/" + std::string(name)) << '\t' << time << '\n'
                    << "+++ " << QuotedName("b/" + std::string(name)) << '\t' << time << '\n';
            }
            WriteHunk(org, copy, a, z, behind, out);
        }
    } catch (const ReadFailure&) {
        return DiffOutcome::CannotRead;
    }
    return org.file.ChangedSinceOpen() || copy.file.ChangedSinceOpen()
        ? DiffOutcome::ChangedSinceRun
        : DiffOutcome::Written;
}

// Every changed file's hunks into out; false when a file was left out or not handled.
bool WriteDiff(const RunReport& report, std::ostream& out, std::ostream& err)
{
    bool whole = true;
    const std::string time = DiffTime();
    for (std::size_t i = 0; i < report.changed.size() && i < report.edits.size(); ++i) {
        const ChangedFile& file = report.changed[i];
        const DiffOutcome outcome
            = WriteFileDiff(file, report.edits[i], DiffName(report, file), time, out);
        if (outcome != DiffOutcome::Written) {
            whole = false;
            err << "vandor: "
                << (outcome == DiffOutcome::ChangedSinceRun
                           ? "実行の後で変わったため差分に含めません (changed since the run, left "
                             "out of the diff): "
                           : "読めないため差分に含めません (could not be read, left out of the "
                             "diff): ")
                << ToUtf8(Readable(file.path)) << '\n';
        }
    }
    for (const auto& [path, reason] : report.unhandled) {
        whole = false;
        err << "vandor: 処理できなかったため差分にありません (not handled, not in the diff): "
            << ToUtf8(Readable(path)) << '\n';
    }
    out.flush();
    return whole && !out.fail();
}

std::string DiffName(const RunReport& report, const ChangedFile& file)
{
    const auto separator = static_cast<char16_t>(platform::NativeSeparator);
    const std::size_t folder = report.org.rfind(separator);
    std::u16string path = file.path;
    if (folder != std::u16string::npos && path.starts_with(report.org.substr(0, folder + 1))) {
        path.erase(0, folder + 1);
    }
    if constexpr (std::is_same_v<platform::NativeChar, char>) {
        return platform::EncodeFileName(path);
    } else {
        std::replace(path.begin(), path.end(), separator, u'/');
        return ToUtf8(path);
    }
}

std::string DiffTime()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc {};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[64] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S.000000000 +0000", &utc);
    return text;
}

} // namespace engine
