#include "engine/UnifiedDiff.h"

#include "engine/ChangeScan.h"
#include "engine/ReportText.h"
#include "platform/FileName.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>
#include <type_traits>
#include <vector>

namespace engine {
namespace {

using namespace diff;

constexpr std::uint64_t kContext = 3;

// The diff's bytes, gathered and handed to the stream 64 KiB at a time: a diff of a large file is
// mostly lines of a few dozen bytes, and written a line at a time, or in the stream's own small
// steps, it costs more in calls than in bytes.
class Output {
public:
    explicit Output(std::ostream& out)
        : m_out(out)
    {
        m_bytes.reserve(kSize);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() { Flush(); }

    Output& operator<<(std::string_view bytes)
    {
        if (m_bytes.size() + bytes.size() > kSize) {
            Flush();
        }
        m_bytes += bytes;
        return *this;
    }
    Output& operator<<(char byte)
    {
        if (m_bytes.size() == kSize) {
            Flush();
        }
        m_bytes += byte;
        return *this;
    }
    void Flush()
    {
        m_out.write(m_bytes.data(), static_cast<std::streamsize>(m_bytes.size()));
        m_bytes.clear();
    }

private:
    static constexpr std::size_t kSize = std::size_t(1) << 16;
    std::ostream& m_out;
    std::string m_bytes;
};

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
        std::string_view piece = org.Before(end);
        const std::uint64_t start = end - piece.size();
        for (std::size_t lf = LastLf(piece); lf != std::string_view::npos; lf = LastLf(piece)) {
            if (++lfs == n + 1) {
                return { start + lf + 1, n };
            }
            piece = piece.substr(0, lf);
        }
        end = start;
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
void WriteLines(Side& side, std::uint64_t begin, std::uint64_t end, char mark, Output& out)
{
    bool lineStart = true;
    side.Pieces(begin, end, [&](std::string_view piece, std::uint64_t) {
        for (std::size_t from = 0; from < piece.size();) {
            if (lineStart) {
                out << mark;
            }
            const std::size_t lf = piece.find('\n', from);
            const std::size_t to = lf == std::string_view::npos ? piece.size() : lf + 1;
            out << piece.substr(from, to - from);
            lineStart = lf != std::string_view::npos;
            from = to;
        }
        return true;
    });
    if (!lineStart) {
        out << "\n\\ No newline at end of file\n";
    }
}

// The changes of one hunk as they were found, kept to write the hunk once its end is known. A
// hunk of more changes than it keeps is found a second time instead, from where the list stood
// before its first change, so that its memory stays bounded.
class HunkChanges {
public:
    static constexpr std::size_t Kept = 4096;

    void Begin(const ChangeList& before, const Change& first)
    {
        m_replay.emplace(before);
        m_kept.assign(1, first);
        m_whole = true;
        m_given = 0;
    }
    void Add(const Change& change)
    {
        if (m_whole && m_kept.size() < Kept) {
            m_kept.push_back(change);
        } else {
            m_whole = false;
            m_kept.clear();
        }
    }
    bool Next(Change& change)
    {
        if (!m_whole) {
            return m_replay->Next(change);
        }
        if (m_given == m_kept.size()) {
            return false;
        }
        change = m_kept[m_given++];
        return true;
    }

private:
    std::optional<ChangeList> m_replay; // the list before the hunk's first change
    std::vector<Change> m_kept;
    bool m_whole = true; // m_kept holds every change of the hunk
    std::size_t m_given = 0;
};

// The hunk from change a to change z; changes gives them again, a first.
void WriteHunk(
    Side& org, Side& copy, const Change& a, const Change& z, HunkChanges& changes, Output& out)
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
            throw ReadFailure {}; // a second reading did not give what the first gave
        }
        WriteLines(org, after, c.orgBegin, ' ', out);
        WriteLines(org, c.orgBegin, c.orgEnd, '-', out);
        WriteLines(copy, c.copyBegin, c.copyEnd, '+', out);
        after = c.orgEnd;
    } while (c.orgBegin != z.orgBegin);
    WriteLines(org, z.orgEnd, trail.pos, ' ', out);
}

// The next change, with the list as it stood before it kept in before.
bool Following(ChangeList& changes, ChangeList& before, Change& next)
{
    before = changes;
    return changes.Next(next);
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
    std::string_view time, std::ostream& stream)
{
    Side org;
    Side copy;
    if (!org.Open(file.path, edits.orgStamp) || !copy.Open(edits.copy, edits.copyStamp)) {
        return DiffOutcome::ChangedSinceRun;
    }
    Output out(stream);
    try {
        if (!EditsFit(edits.edits, org.size, copy.size)) {
            return DiffOutcome::ChangedSinceRun;
        }
        // The changes of a hunk are found before it is written, since its header counts its
        // lines; the list as it stood before each change is kept, to find a long hunk again.
        ChangeList changes(org, copy, edits.edits);
        ChangeList beforeNext = changes;
        HunkChanges hunk;
        Change next;
        for (bool more = changes.Next(next), first = true; more; first = false) {
            const Change a = next;
            Change z = next;
            hunk.Begin(beforeNext, a);
            // Changes at most twice the context apart share a hunk, as in diff.
            while ((more = Following(changes, beforeNext, next))
                && next.orgLine - (z.orgLine + z.orgLines) <= 2 * kContext) {
                z = next;
                hunk.Add(next);
            }
            if (first) {
                out << "--- " << QuotedName("a/" + std::string(name)) << '\t' << time << '\n'
                    << "+++ " << QuotedName("b/" + std::string(name)) << '\t' << time << '\n';
            }
            WriteHunk(org, copy, a, z, hunk, out);
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
