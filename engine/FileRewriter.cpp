#include "engine/FileRewriter.h"

#include "platform/Memory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace engine {
namespace {

// Memory kept from file to file; what grew past it for one file is given back after it.
constexpr std::size_t kKeptBuffer = std::size_t(4) << 20;
// How many hits ahead of the line in hand their pairs' search texts are fetched into the cache.
constexpr std::size_t kHitsFetchedAhead = 8;
// The most read at a time when unchanged bytes are copied from the input.
constexpr std::size_t kCopyPiece = std::size_t(1) << 18;

bool EndsWithLineEnd(std::string_view bytes)
{
    return bytes.ends_with('\r') || bytes.ends_with("\r\n");
}

void SortUnique(std::vector<int>& pairs)
{
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
}

} // namespace

FileRewriter::FileRewriter(const PairTable& table, bool InsertMark, std::mutex& inputs)
    : m_table(table)
    , m_rewriter(table, InsertMark)
    , m_inputs(inputs)
{
}

inline FileRewriter::Line FileRewriter::LineAround(
    std::string_view block, std::size_t from, std::size_t at)
{
    std::size_t start = from;
    for (std::size_t i = at; i > from; --i) {
        if (block[i - 1] == '\r') {
            start = i;
            break;
        }
    }
    if (start > from && start < block.size() && block[start] == '\n') {
        ++start;
    }
    const void* cr = std::memchr(block.data() + at, '\r', block.size() - at);
    const std::size_t end = cr != nullptr
        ? static_cast<std::size_t>(static_cast<const char*>(cr) - block.data())
        : block.size();
    std::size_t next = end;
    if (next < block.size()) {
        ++next;
        if (next < block.size() && block[next] == '\n') {
            ++next;
        }
    }
    return { start, end, next };
}

void FileRewriter::WriteUnchanged(
    std::string_view bytes, bool mayHoldLoneCr, bool inBlock, std::uint64_t origin)
{
    // Bytes of the block in hand stay where they are until the block is done with, and go out
    // from there; bytes read into a passing buffer are copied.
    const auto write = [this, inBlock](std::string_view piece) {
        if (inBlock) {
            m_output.WriteInPlace(piece);
        } else {
            m_output.Write(piece);
        }
    };
    // Lines keep their bytes; only a lone CR gains its LF. Lone CRs are rare, so one quick pass
    // (made by the reading thread for a large file) tells whether the bytes can go out as they are.
    if (!mayHoldLoneCr || !platform::HasLoneCr(bytes)) {
        write(bytes);
        return;
    }
    std::size_t from = 0;
    while (from < bytes.size()) {
        const void* cr = std::memchr(bytes.data() + from, '\r', bytes.size() - from);
        if (cr == nullptr) {
            write(bytes.substr(from));
            break;
        }
        const std::size_t at
            = static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data());
        if (at + 1 < bytes.size() && bytes[at + 1] == '\n') {
            write(bytes.substr(from, at + 2 - from));
            from = at + 2;
        } else {
            write(bytes.substr(from, at + 1 - from));
            m_output.Write("\n");
            if (m_recording) {
                m_edits.Replace(origin + at + 1, origin + at + 1, 1);
            }
            from = at + 1;
        }
    }
}

bool FileRewriter::CopyFromInput(std::uint64_t from, std::uint64_t to)
{
    std::string piece(
        static_cast<std::size_t>(std::min<std::uint64_t>(to - from, kCopyPiece)) + 1, '\0');
    std::uint64_t offset = from;
    while (offset < to) {
        const std::size_t want
            = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size() - 1, to - offset));
        const long n = m_input.ReadAt(piece.data(), want, offset);
        if (n <= 0) {
            return false;
        }
        std::size_t length = static_cast<std::size_t>(n);
        // Keep a CR LF together: never end a piece between the two.
        if (piece[length - 1] == '\r' && offset + length < to) {
            char after = 0;
            if (m_input.ReadAt(&after, 1, offset + length) == 1 && after == '\n') {
                piece[length++] = '\n';
            }
        }
        WriteUnchanged(std::string_view(piece.data(), length), true, false, offset);
        offset += length;
    }
    return true;
}

FileRewriter::Step FileRewriter::CopyUnchangedUpTo(std::uint64_t offset, bool addFinalLineEnd)
{
    if (!m_output.IsOpen()) {
        return {};
    }
    if (m_block != nullptr && m_copied >= m_block->offset
        && offset <= m_block->offset + m_block->bytes.size()) {
        const auto from = static_cast<std::size_t>(m_copied - m_block->offset);
        WriteUnchanged(m_block->bytes.substr(from, static_cast<std::size_t>(offset - m_copied)),
            m_block->mayHoldLoneCr, true, m_copied);
    } else if (!CopyFromInput(m_copied, offset)) {
        return Step::Fail(FailureReason::CannotRead);
    }
    if (addFinalLineEnd) {
        m_output.Write("\r\n");
        if (m_recording) {
            m_edits.Replace(offset, offset, 2);
        }
    }
    m_copied = offset;
    return {};
}

// The copy is created at the first changed line, under a temporary name beside its own; the
// lines before it were only scanned and are copied from the input then.
FileRewriter::Step FileRewriter::OpenCopy(TextEncoding encoding)
{
    std::optional<platform::FileId> existing;
    if (!m_target->mayWrite()
        || platform::InspectCopySlot(m_target->folder + m_target->name, &existing)
            == platform::CopySlot::InTheWay
        || (existing && *existing == m_inputId)
        || !m_output.Create(m_target->folder, m_target->name)) {
        return Step::Fail(FailureReason::CannotWrite);
    }
    m_copied = 0;
    m_written = encoding;
    return {};
}

FileRewriter::Step FileRewriter::WriteChangedLine(std::uint64_t start, std::uint64_t next)
{
    if (!m_output.IsOpen()) {
        if (const Step opened = OpenCopy(m_block->encoding); !opened.Done()) {
            return opened;
        }
    }
    if (const Step copied = CopyUnchangedUpTo(start, false); !copied.Done()) {
        return copied;
    }
    std::uint64_t written = 0;
    m_rewriter.WriteRecords([this, &written](std::string_view bytes) {
        m_output.Write(bytes);
        written += bytes.size();
    });
    if (m_recording) {
        m_edits.Replace(start, next, written);
    }
    m_copied = next;
    return {};
}

FileRewriter::Step FileRewriter::FinishLongLine(
    std::uint64_t end, std::uint64_t next, bool unterminated)
{
    m_inLongLine = false;
    if (m_candidates.empty()) {
        return CopyUnchangedUpTo(next, unterminated);
    }
    // Only a line that may change is read whole, once more, from the file.
    SortUnique(m_candidates);
    std::string& line = m_rewriter.LineBuffer();
    m_grew = true;
    line.resize(static_cast<std::size_t>(end - m_longLineStart));
    for (std::size_t done = 0; done < line.size();) {
        const long n
            = m_input.ReadAt(line.data() + done, line.size() - done, m_longLineStart + done);
        if (n <= 0) {
            return Step::Fail(FailureReason::CannotRead);
        }
        done += static_cast<std::size_t>(n);
    }
    const bool changed = m_rewriter.RewriteLine(line, m_candidates);
    m_candidates.clear();
    const Step step
        = changed ? WriteChangedLine(m_longLineStart, next) : CopyUnchangedUpTo(next, unterminated);
    m_rewriter.Trim(kKeptBuffer);
    return step;
}

// A block that holds a piece of a line longer than a block: the pairs its hits name are gathered
// until the line's end, where the line is finished; the cursor is then just after it.
FileRewriter::Step FileRewriter::LongLinePiece(
    const ScannedBlock& block, Cursor& cursor, bool& goesOn)
{
    const std::string_view bytes = block.bytes;
    if (!m_inLongLine) {
        m_inLongLine = true;
        m_longLineStart = block.offset + cursor.at;
    }
    const void* cr = std::memchr(bytes.data(), '\r', bytes.size());
    const std::size_t end = cr != nullptr
        ? static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data())
        : bytes.size();
    for (; cursor.hit < block.hits.size() && block.hits[cursor.hit].end <= end; ++cursor.hit) {
        m_candidates.push_back(block.hits[cursor.hit].pair);
    }
    goesOn = cr == nullptr && !block.last;
    if (goesOn) {
        return {};
    }
    std::size_t next = end;
    if (next < bytes.size()) {
        next += next + 1 < bytes.size() && bytes[next + 1] == '\n' ? 2 : 1;
    }
    cursor.at = next;
    return FinishLongLine(block.offset + end, block.offset + next, cr == nullptr);
}

// The next line at or after the cursor that holds a hit, with the search texts of the next few
// hits fetched into the cache meanwhile; false when no hit is left. The cursor moves past the line.
inline bool FileRewriter::NextLineWithHit(const ScannedBlock& block, Cursor& cursor, Line& line)
{
    const std::vector<Prefilter::Hit>& hits = block.hits;
    for (;;) {
        while (cursor.hit < hits.size() && hits[cursor.hit].end - 1 < cursor.at) {
            ++cursor.hit;
        }
        if (cursor.hit == hits.size()) {
            return false;
        }
        for (cursor.fetched = std::max(cursor.fetched, cursor.hit);
             cursor.fetched < std::min(hits.size(), cursor.hit + kHitsFetchedAhead);
             ++cursor.fetched) {
            m_rewriter.FetchIntoCache(hits[cursor.fetched].pair);
        }
        const std::size_t last = hits[cursor.hit].end - 1;
        line = LineAround(block.bytes, cursor.at, last);
        cursor.at = line.next;
        if (last < line.end) {
            return true;
        }
        // The hit ends in a terminator: no line holds it.
    }
}

// The block's scan already tells which pairs may match in the line; no second scan.
inline void FileRewriter::GatherCandidates(
    const ScannedBlock& block, std::size_t hit, const Line& line)
{
    m_candidates.clear();
    for (std::size_t h = hit; h < block.hits.size() && block.hits[h].end - 1 < line.next; ++h) {
        if (block.hits[h].end > line.start) {
            m_candidates.push_back(block.hits[h].pair);
        }
    }
    SortUnique(m_candidates);
}

FileRewriter::Step FileRewriter::RewriteBlock(const ScannedBlock& block)
{
    // A file taken for UTF-8 that is not, or one whose copy was begun before it showed itself to
    // be UTF-8, is read again from its start with its encoding settled.
    if (block.notUtf8) {
        return Step::Restart(EncodingRule::Cp932);
    }
    if (m_written && *m_written != block.encoding) {
        return Step::Restart(EncodingRule::Utf8);
    }
    m_block = &block;
    m_rewriter.SetEncoding(block.encoding);
    const std::string_view bytes = block.bytes;
    // A byte order mark stays the first bytes of the file: a mark line goes after it.
    Cursor cursor;
    cursor.at = block.offset == 0 && block.encoding == TextEncoding::Utf8
            && bytes.starts_with("\xEF\xBB\xBF")
        ? 3
        : 0;
    if (m_inLongLine || block.partial) {
        bool goesOn = false;
        const Step step = LongLinePiece(block, cursor, goesOn);
        if (!step.Done() || goesOn) {
            return step;
        }
    }
    Line line {};
    while (NextLineWithHit(block, cursor, line)) {
        GatherCandidates(block, cursor.hit, line);
        if (m_rewriter.RewriteLine(bytes.substr(line.start, line.end - line.start), m_candidates)) {
            const Step step = WriteChangedLine(block.offset + line.start, block.offset + line.next);
            if (!step.Done()) {
                return step;
            }
        }
    }
    m_candidates.clear();
    const bool unterminated = block.last && !EndsWithLineEnd(bytes);
    return CopyUnchangedUpTo(
        block.offset + bytes.size(), unterminated && m_copied < block.offset + bytes.size());
}

template <typename NextBlock>
FileRewriter::Step FileRewriter::RewriteBlocks(NextBlock&& next, CopyResult& result)
{
    m_copied = 0;
    m_inLongLine = false;
    m_candidates.clear();
    m_written.reset();
    m_edits = EditList(m_spill);
    Step step;
    while (const ScannedBlock* block = next()) {
        if (block->holdsNul || block->utf16) {
            result.outcome = block->utf16 ? CopyOutcome::Utf16 : CopyOutcome::Binary;
            break;
        }
        step = RewriteBlock(*block);
        if (!step.Done()) {
            break;
        }
        m_output.Flush(); // before the block's bytes go away
        result.encoding = block->encoding;
    }
    m_block = nullptr;
    return step;
}

// A whole pass: the copy, if one was begun, takes its name.
FileRewriter::Step FileRewriter::Commit(CopyResult& result)
{
    if (result.outcome != CopyOutcome::Unchanged || !m_output.IsOpen()) {
        DropPass(); // nothing changed, or the file is not to be rewritten
        return {};
    }
    m_input.Close();
    if (!m_output.Commit()) {
        return Step::Fail(FailureReason::CannotWrite);
    }
    result.outcome = CopyOutcome::Changed;
    result.replacements = m_rewriter.TakeCounts();
    if (m_recording) {
        m_edits.Shrink();
        result.edits = std::move(m_edits);
        m_edits = {};
        const std::optional<platform::FileStamp> copy
            = platform::StampOf(m_target->folder + m_target->name);
        if (copy) {
            result.copyStamp = *copy;
        }
    }
    return {};
}

FileRewriter::Step FileRewriter::RewriteFile(EncodingRule rule, CopyResult& result)
{
    result = {};
    result.encoding = rule == EncodingRule::Utf8 ? TextEncoding::Utf8 : TextEncoding::Cp932;
    try {
        Step step;
        {
            BlockSource source(m_input, m_table.Compiled().prefilter, rule, m_slots, m_scan);
            step = RewriteBlocks([&source] { return source.Next(); }, result);
            if (step.Done() && result.outcome == CopyOutcome::Unchanged && source.Failed()) {
                return Step::Fail(FailureReason::CannotRead);
            }
        }
        if (step.Done() && result.outcome == CopyOutcome::Unchanged && m_input.ChangedSinceOpen()) {
            return Step::Fail(FailureReason::ChangedWhileRead);
        }
        return step.Done() ? Commit(result) : step;
    } catch (const std::bad_alloc&) {
        return Step::Fail(FailureReason::TooLong); // a line too long for the memory there is
    }
}

void FileRewriter::DropPass()
{
    m_output.Abandon();
    m_input.Close();
    m_rewriter.ForgetCounts();
}

CopyResult FileRewriter::Copy(const platform::NativePath& input, const CopyTarget& target)
{
    const std::lock_guard inputs(m_inputs);
    m_target = &target;
    CopyResult result;
    EncodingRule rule = EncodingRule::Detect;
    // At most twice more: once when a copy was begun before the file showed itself to be UTF-8,
    // once when a file taken for UTF-8 is not.
    for (int pass = 0; pass < 3; ++pass) {
        if (!m_input.Open(input)) {
            m_target = nullptr;
            result = {};
            result.outcome = CopyOutcome::Failed; // an existing copy of its name stays as it was
            result.reason = FailureReason::CannotOpen;
            return result;
        }
        m_inputId = m_input.Id();
        const Step step = RewriteFile(rule, result);
        if (step.Done()) {
            result.orgStamp = m_input.StampAtOpen();
            break;
        }
        DropPass();
        result = {};
        result.outcome = CopyOutcome::Failed;
        result.reason = step.end == Step::End::Failed ? step.reason : FailureReason::CannotRead;
        if (step.end == Step::End::Failed) {
            break;
        }
        rule = step.rule;
    }
    for (const BlockSlots::Slot& slot : m_slots.slots) {
        m_grew = m_grew || slot.buffer.size() > kKeptBuffer;
    }
    return Settle(std::move(result));
}

CopyResult FileRewriter::CopyPrefetched(const PrefetchedFile& file, const CopyTarget& target)
{
    m_target = &target;
    m_inputId = file.file.Id();
    CopyResult result;
    Step step;
    try {
        const ScannedBlock* block = file.block;
        step = RewriteBlocks([&block] { return std::exchange(block, nullptr); }, result);
        if (step.Done()) {
            step = Commit(result);
            result.orgStamp = file.file.StampAtOpen();
        }
    } catch (const std::bad_alloc&) {
        step = Step::Fail(FailureReason::TooLong);
    }
    if (step.end == Step::End::Restart) {
        // Its encoding is settled anew on a second reading, as for any file.
        DropPass();
        return Copy(file.path, target);
    }
    if (step.end == Step::End::Failed) {
        DropPass();
        result = {};
        result.outcome = CopyOutcome::Failed;
        result.reason = step.reason;
    }
    return Settle(std::move(result));
}

// A stale copy at the name is deleted; false when one is there that cannot be, or that is not a
// copy (a read-only file, a link), since the NEW tree must not hold a copy that is wrong.
bool FileRewriter::DeleteStaleCopy()
{
    std::optional<platform::FileId> existing;
    const platform::NativePath output = m_target->folder + m_target->name;
    const platform::CopySlot slot = platform::InspectCopySlot(output, &existing);
    // What lies in a folder that is not ours is not a copy of ours: left alone.
    if (slot == platform::CopySlot::Missing || !m_target->mayWrite()) {
        return true;
    }
    if (slot == platform::CopySlot::Writable) {
        // Never the input itself.
        return (existing && *existing == m_inputId) || platform::DeleteFile(output);
    }
    return false;
}

void FileRewriter::GiveBackMemory()
{
    if (!m_grew) {
        return;
    }
    m_grew = false;
    m_slots.Trim(kKeptBuffer);
    m_rewriter.Trim(kKeptBuffer);
    platform::GiveBackFreeMemory();
}

// What is left to do after a file's passes: memory given back, a stale copy deleted.
CopyResult FileRewriter::Settle(CopyResult result)
{
    GiveBackMemory();
    const bool noCopy = result.outcome == CopyOutcome::Unchanged
        || result.outcome == CopyOutcome::Binary || result.outcome == CopyOutcome::Utf16;
    if (noCopy && !m_target->freshFolder && !DeleteStaleCopy()) {
        result.outcome = CopyOutcome::Failed;
        result.reason = FailureReason::CannotWrite;
    }
    m_input.Close();
    m_target = nullptr;
    return result;
}

} // namespace engine
