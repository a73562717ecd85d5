#include "engine/FileRewriter.h"

#include <cstring>

namespace engine {
namespace {

    constexpr std::size_t kKeptBuffer = std::size_t(4) << 20;

    bool EndsWithLineEnd(std::string_view bytes)
    {
        return !bytes.empty() && (bytes.back() == '\r' || (bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n"));
    }

    // The line around a hit: [start, end) without its terminator, next just after the terminator.
    struct LineBounds {
        std::size_t start, end, next;
    };

    LineBounds LineAround(std::string_view block, std::size_t at)
    {
        std::size_t start = 0;
        for (std::size_t i = at; i > 0; --i) {
            if (block[i - 1] == '\r') {
                start = i;
                break;
            }
        }
        if (start > 0 && start < block.size() && block[start] == '\n') {
            ++start;
        }
        const void* cr = std::memchr(block.data() + at, '\r', block.size() - at);
        const std::size_t end = cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - block.data()) : block.size();
        std::size_t next = end;
        if (next < block.size()) {
            ++next;
            if (next < block.size() && block[next] == '\n') {
                ++next;
            }
        }
        return { start, end, next };
    }

} // namespace

FileRewriter::FileRewriter(const PairTable& table, bool insertMark)
    : m_table(table)
    , m_rewriter(table, insertMark)
{
}

void FileRewriter::CopyUnchanged(std::string_view bytes, bool addFinalLineEnd, bool mayHoldLoneCr)
{
    if (!m_output.IsOpen() || bytes.empty()) {
        return;
    }
    // Lines keep their bytes; only a lone CR gains its LF. Lone CRs are rare, so one quick pass
    // (made by the reading thread for a large file) tells whether the bytes can go out as they are.
    if (!mayHoldLoneCr || !platform::HasLoneCr(bytes)) {
        m_output.Write(bytes);
        if (addFinalLineEnd) {
            m_output.Write("\r\n");
        }
        return;
    }
    std::size_t from = 0;
    while (from < bytes.size()) {
        const void* cr = std::memchr(bytes.data() + from, '\r', bytes.size() - from);
        if (cr == nullptr) {
            m_output.Write(bytes.substr(from));
            break;
        }
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data());
        if (at + 1 < bytes.size() && bytes[at + 1] == '\n') {
            m_output.Write(bytes.substr(from, at + 2 - from));
            from = at + 2;
        } else {
            m_output.Write(bytes.substr(from, at + 1 - from));
            m_output.Write("\n");
            from = at + 1;
        }
    }
    if (addFinalLineEnd) {
        m_output.Write("\r\n");
    }
}

bool FileRewriter::OpenOutput(const std::u16string& output, const std::function<bool()>& mayWrite, std::uint64_t changedLineOffset)
{
    std::optional<platform::FileId> existing;
    if (!mayWrite() || platform::InspectCopySlot(output, &existing) == platform::CopySlot::InTheWay
        || (existing && *existing == m_input.Id())) {
        return false;
    }
    if (!m_output.Create(output)) {
        return false;
    }
    // The lines before the first change were only scanned: copy them now from the input.
    std::string chunk(std::min<std::uint64_t>(changedLineOffset, 1 << 18), '\0');
    std::uint64_t offset = 0;
    while (offset < changedLineOffset) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), changedLineOffset - offset));
        const long n = m_input.ReadAt(chunk.data(), want, offset);
        if (n <= 0) {
            return false;
        }
        std::size_t length = static_cast<std::size_t>(n);
        // Keep a CR LF together: never end a chunk between the two.
        if (chunk[length - 1] == '\r' && offset + length < changedLineOffset) {
            char after = 0;
            if (m_input.ReadAt(&after, 1, offset + length) == 1 && after == '\n') {
                chunk.resize(std::max(chunk.size(), length + 1));
                chunk[length++] = '\n';
            }
        }
        CopyUnchanged(std::string_view(chunk.data(), length), false, true);
        offset += length;
    }
    return true;
}

CopyOutcome FileRewriter::Fail(const std::u16string& output)
{
    if (m_output.IsOpen()) {
        m_output.Close();
        platform::DeleteFile(output);
    }
    m_input.Close();
    return CopyOutcome::Failed;
}

CopyOutcome FileRewriter::DeleteStaleCopy(const std::u16string& output, const std::function<bool()>& mayWrite)
{
    std::optional<platform::FileId> existing;
    const platform::CopySlot slot = platform::InspectCopySlot(output, &existing);
    // What lies in a folder that is not ours is not a copy of ours: left alone.
    if (slot == platform::CopySlot::Missing || !mayWrite()) {
        return CopyOutcome::Unchanged;
    }
    switch (slot) {
    case platform::CopySlot::Missing:
        return CopyOutcome::Unchanged;
    case platform::CopySlot::Writable:
        if (existing && *existing == m_input.Id()) {
            return CopyOutcome::Unchanged; // never delete the input itself
        }
        return platform::DeleteFile(output) ? CopyOutcome::Unchanged : CopyOutcome::Failed;
    case platform::CopySlot::InTheWay:
        break;
    }
    // A read-only file or a link at the copy's name is left alone; it is not a current copy.
    return CopyOutcome::Failed;
}

CopyOutcome FileRewriter::Copy(const std::u16string& input, const std::u16string& output,
    const std::function<bool()>& mayWrite, bool freshFolder)
{
    // Memory grown for one enormous line is not kept for the rest of the walk.
    m_slots.Trim(kKeptBuffer);
    if (!m_input.Open(input)) {
        return CopyOutcome::Failed;
    }
    bool whole = false;
    {
        const bool everyLine = !m_table.compiled->unfiltered.empty();
        BlockSource source(m_input, everyLine ? nullptr : &m_table.compiled->prefilter, m_slots);
        whole = RewriteBlocks(source, everyLine, output, mayWrite) && !source.Failed();
    }
    if (!whole) {
        return Fail(output);
    }
    if (!m_output.IsOpen()) {
        m_input.Close();
        return freshFolder ? CopyOutcome::Unchanged : DeleteStaleCopy(output, mayWrite);
    }
    m_input.Close();
    if (!m_output.Close()) {
        platform::DeleteFile(output);
        return CopyOutcome::Failed;
    }
    return CopyOutcome::Changed;
}

bool FileRewriter::RewriteBlocks(BlockSource& source, bool everyLine, const std::u16string& output,
    const std::function<bool()>& mayWrite)
{
    while (const ScannedBlock* scanned = source.Next()) {
        const std::string_view block = scanned->bytes;
        const std::vector<Prefilter::Hit>& hits = scanned->hits;
        // The last line of a file may lack its terminator; its copy gets one.
        const bool unterminated = scanned->last && !EndsWithLineEnd(block);
        if (!everyLine && hits.empty()) {
            CopyUnchanged(block, unterminated, scanned->mayHoldLoneCr);
            continue;
        }
        std::size_t copied = 0; // block bytes already written or passed over
        std::size_t hit = 0;
        std::size_t at = 0;
        while (true) {
            // The next line that may change: every line, or the line of the next hit.
            LineBounds line {};
            if (everyLine) {
                if (at >= block.size()) {
                    break;
                }
                line = LineAround(block, at);
            } else {
                while (hit < hits.size() && hits[hit].end - 1 < at) {
                    ++hit;
                }
                if (hit == hits.size()) {
                    break;
                }
                const std::size_t last = hits[hit].end - 1;
                line = LineAround(block, last);
                if (last >= line.end) { // the hit ends in a terminator: no line holds it
                    at = line.next;
                    continue;
                }
            }
            at = line.next;
            // The block's scan already tells which pairs may match here; no second scan.
            m_found.clear();
            for (std::size_t h = hit; !everyLine && h < hits.size() && hits[h].end - 1 < line.next;
                 ++h) {
                m_found.push_back(hits[h].pair);
            }
            m_records.clear();
            if (!m_rewriter.Rewrite(block.substr(line.start, line.end - line.start), m_records,
                    everyLine ? nullptr : &m_found)) {
                continue;
            }
            if (!m_output.IsOpen()) {
                if (!OpenOutput(output, mayWrite, scanned->offset + line.start)) {
                    return false;
                }
            } else {
                CopyUnchanged(
                    block.substr(copied, line.start - copied), false, scanned->mayHoldLoneCr);
            }
            m_output.Write(m_records);
            copied = line.next;
        }
        CopyUnchanged(
            block.substr(copied), unterminated && copied < block.size(), scanned->mayHoldLoneCr);
    }
    return true;
}

} // namespace engine
