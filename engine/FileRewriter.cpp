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
constexpr std::size_t kPrefetchedHits = 8;

bool EndsWithLineEnd(std::string_view bytes)
{
    return bytes.ends_with('\r') || bytes.ends_with("\r\n");
}

// The line around a hit: [start, end) without its terminator, next just after the terminator.
struct LineBounds {
    std::size_t start, end, next;
};

LineBounds LineAround(std::string_view block, std::size_t from, std::size_t at)
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

void SortUnique(std::vector<int>& pairs)
{
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
}

} // namespace

FileRewriter::FileRewriter(const PairTable& table, bool InsertMark)
    : m_table(table)
    , m_rewriter(table, InsertMark)
{
}

void FileRewriter::WriteUnchanged(std::string_view bytes, bool mayHoldLoneCr, bool inBlock)
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
            from = at + 1;
        }
    }
}

bool FileRewriter::CopyFromInput(std::uint64_t from, std::uint64_t to)
{
    std::string piece(
        static_cast<std::size_t>(std::min<std::uint64_t>(to - from, 1 << 18)) + 1, '\0');
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
        WriteUnchanged(std::string_view(piece.data(), length), true, false);
        offset += length;
    }
    return true;
}

bool FileRewriter::CopyUnchangedUpTo(std::uint64_t offset, bool addFinalLineEnd)
{
    if (!m_output.IsOpen()) {
        return true;
    }
    if (m_block != nullptr && m_copied >= m_block->offset
        && offset <= m_block->offset + m_block->bytes.size()) {
        const auto from = static_cast<std::size_t>(m_copied - m_block->offset);
        WriteUnchanged(m_block->bytes.substr(from, static_cast<std::size_t>(offset - m_copied)),
            m_block->mayHoldLoneCr, true);
    } else if (!CopyFromInput(m_copied, offset)) {
        m_failure = FailureReason::CannotRead;
        return false;
    }
    if (addFinalLineEnd) {
        m_output.Write("\r\n");
    }
    m_copied = offset;
    return true;
}

bool FileRewriter::WriteChangedLine(
    std::uint64_t start, std::uint64_t next, const std::function<bool()>& mayWrite)
{
    if (!m_output.IsOpen()) {
        std::optional<platform::FileId> existing;
        m_failure = FailureReason::CannotWrite;
        if (!mayWrite()
            || platform::InspectCopySlot(m_outputFolder + m_name, &existing)
                == platform::CopySlot::InTheWay
            || (existing && *existing == m_inputId) || !m_output.Create(m_outputFolder, m_name)) {
            return false;
        }
        // The lines before the first change were only scanned: copied now from the input.
        m_copied = 0;
        m_written = m_block->encoding;
    }
    if (!CopyUnchangedUpTo(start, false)) {
        return false;
    }
    m_rewriter.WriteRecords([this](std::string_view bytes) { m_output.Write(bytes); });
    m_copied = next;
    return true;
}

bool FileRewriter::FinishLongLine(
    std::uint64_t end, std::uint64_t next, bool unterminated, const std::function<bool()>& mayWrite)
{
    m_inLongLine = false;
    if (!m_candidates.empty()) {
        // Only a line that may change is read whole, once more, from the file.
        SortUnique(m_candidates);
        std::string& line = m_rewriter.LineBuffer();
        m_grew = true;
        line.resize(static_cast<std::size_t>(end - m_longLineStart));
        std::size_t done = 0;
        while (done < line.size()) {
            const long n
                = m_input.ReadAt(line.data() + done, line.size() - done, m_longLineStart + done);
            if (n <= 0) {
                m_failure = FailureReason::CannotRead;
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        const bool changed = m_rewriter.RewriteLine(line, m_candidates);
        m_candidates.clear();
        if (changed) {
            const bool written = WriteChangedLine(m_longLineStart, next, mayWrite);
            m_rewriter.Trim(kKeptBuffer);
            return written;
        }
        m_rewriter.Trim(kKeptBuffer);
    }
    return CopyUnchangedUpTo(next, unterminated);
}

// A block that holds a piece of a line longer than a block: the pairs its hits name are gathered
// until the line's end, where the line is finished; at is then just after it.
bool FileRewriter::LongLinePiece(const ScannedBlock& block, std::size_t& at, std::size_t& hit,
    bool& goesOn, const std::function<bool()>& mayWrite)
{
    const std::string_view bytes = block.bytes;
    if (!m_inLongLine) {
        m_inLongLine = true;
        m_longLineStart = block.offset + at;
    }
    const void* cr = std::memchr(bytes.data(), '\r', bytes.size());
    const std::size_t end = cr != nullptr
        ? static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data())
        : bytes.size();
    for (; hit < block.hits.size() && block.hits[hit].end <= end; ++hit) {
        m_candidates.push_back(block.hits[hit].pair);
    }
    goesOn = cr == nullptr && !block.last;
    if (goesOn) {
        return true;
    }
    std::size_t next = end;
    if (next < bytes.size()) {
        next += next + 1 < bytes.size() && bytes[next + 1] == '\n' ? 2 : 1;
    }
    at = next;
    return FinishLongLine(block.offset + end, block.offset + next, cr == nullptr, mayWrite);
}

bool FileRewriter::RewriteBlock(const ScannedBlock& block, const std::function<bool()>& mayWrite)
{
    m_block = &block;
    // A file taken for UTF-8 that is not, or one whose copy was begun before it showed itself to
    // be UTF-8, is read again from its start with its encoding settled.
    if (block.notUtf8) {
        m_restart = EncodingRule::Cp932;
        return false;
    }
    if (m_written && *m_written != block.encoding) {
        m_restart = EncodingRule::Utf8;
        return false;
    }
    m_rewriter.SetEncoding(block.encoding);
    const std::string_view bytes = block.bytes;
    const std::vector<Prefilter::Hit>& hits = block.hits;
    // A byte order mark stays the first bytes of the file: a mark line goes after it.
    std::size_t at = block.offset == 0 && block.encoding == TextEncoding::Utf8
            && bytes.starts_with("\xEF\xBB\xBF")
        ? 3
        : 0; // bytes before it are done with
    std::size_t hit = 0;
    if (m_inLongLine || block.partial) {
        bool goesOn = false;
        if (!LongLinePiece(block, at, hit, goesOn, mayWrite)) {
            return false;
        }
        if (goesOn) {
            return true;
        }
    }
    const bool unterminated = block.last && !EndsWithLineEnd(bytes);
    std::size_t prefetched = hit;
    while (true) {
        // The next line that may change: the line of the next hit.
        while (hit < hits.size() && hits[hit].end - 1 < at) {
            ++hit;
        }
        if (hit == hits.size()) {
            break;
        }
        for (prefetched = std::max(prefetched, hit);
             prefetched < std::min(hits.size(), hit + kPrefetchedHits); ++prefetched) {
            m_rewriter.Prefetch(hits[prefetched].pair);
        }
        const std::size_t last = hits[hit].end - 1;
        const LineBounds line = LineAround(bytes, at, last);
        if (last >= line.end) { // the hit ends in a terminator: no line holds it
            at = line.next;
            continue;
        }
        at = line.next;
        // The block's scan already tells which pairs may match here; no second scan.
        m_candidates.clear();
        for (std::size_t h = hit; h < hits.size() && hits[h].end - 1 < line.next; ++h) {
            if (hits[h].end > line.start) {
                m_candidates.push_back(hits[h].pair);
            }
        }
        SortUnique(m_candidates);
        if (!m_rewriter.RewriteLine(
                bytes.substr(line.start, line.end - line.start), m_candidates)) {
            continue;
        }
        if (!WriteChangedLine(block.offset + line.start, block.offset + line.next, mayWrite)) {
            return false;
        }
    }
    m_candidates.clear();
    return CopyUnchangedUpTo(
        block.offset + bytes.size(), unterminated && m_copied < block.offset + bytes.size());
}

void FileRewriter::Begin()
{
    m_copied = 0;
    m_inLongLine = false;
    m_candidates.clear();
    m_written.reset();
    m_restart.reset();
}

template <typename NextBlock>
FileRewriter::PassEnd FileRewriter::RewriteBlocks(
    NextBlock&& next, const std::function<bool()>& mayWrite, TextEncoding& encoding)
{
    PassEnd end = PassEnd::Whole;
    while (const ScannedBlock* block = next()) {
        if (block->holdsNul || block->utf16) {
            end = block->utf16 ? PassEnd::Utf16 : PassEnd::Binary;
            break;
        }
        if (!RewriteBlock(*block, mayWrite)) {
            end = m_restart ? PassEnd::Restart : PassEnd::Failed;
            break;
        }
        m_output.Flush(); // before the block's bytes go away
        encoding = block->encoding;
    }
    m_block = nullptr;
    return end;
}

CopyResult FileRewriter::Finish(PassEnd end, TextEncoding encoding)
{
    CopyResult result;
    result.encoding = encoding;
    switch (end) {
    case PassEnd::Restart:
        result.outcome = CopyOutcome::Failed;
        return result;
    case PassEnd::Failed:
        return Fail(m_failure);
    case PassEnd::Binary:
    case PassEnd::Utf16:
        m_output.Abandon();
        m_rewriter.TakeCounts();
        result.outcome = end == PassEnd::Utf16 ? CopyOutcome::Utf16 : CopyOutcome::Binary;
        return result;
    case PassEnd::Whole:
        break;
    }
    if (!m_output.IsOpen()) {
        m_rewriter.TakeCounts();
        result.outcome = CopyOutcome::Unchanged;
        return result;
    }
    m_input.Close();
    if (!m_output.Commit()) {
        return Fail(FailureReason::CannotWrite);
    }
    result.outcome = CopyOutcome::Changed;
    result.replacements = m_rewriter.TakeCounts();
    return result;
}

CopyResult FileRewriter::Rewrite(const std::function<bool()>& mayWrite, EncodingRule rule)
{
    Begin();
    TextEncoding encoding = rule == EncodingRule::Utf8 ? TextEncoding::Utf8 : TextEncoding::Cp932;
    PassEnd end = PassEnd::Whole;
    {
        BlockSource source(m_input, m_table.Compiled().prefilter, rule, m_slots);
        end = RewriteBlocks([&source] { return source.Next(); }, mayWrite, encoding);
        if (end == PassEnd::Whole && source.Failed()) {
            return Fail(FailureReason::CannotRead);
        }
    }
    if (end == PassEnd::Whole && m_input.ChangedSinceOpen()) {
        return Fail(FailureReason::ChangedWhileRead);
    }
    return Finish(end, encoding);
}

CopyResult FileRewriter::Fail(FailureReason reason)
{
    m_output.Abandon();
    m_input.Close();
    m_rewriter.TakeCounts();
    CopyResult result;
    result.outcome = CopyOutcome::Failed;
    result.reason = reason;
    return result;
}

CopyOutcome FileRewriter::DeleteStaleCopy(const std::function<bool()>& mayWrite)
{
    std::optional<platform::FileId> existing;
    const platform::NativePath output = m_outputFolder + m_name;
    const platform::CopySlot slot = platform::InspectCopySlot(output, &existing);
    // What lies in a folder that is not ours is not a copy of ours: left alone.
    if (slot == platform::CopySlot::Missing || !mayWrite()) {
        return CopyOutcome::Unchanged;
    }
    if (slot == platform::CopySlot::Writable) {
        if (existing && *existing == m_inputId) {
            return CopyOutcome::Unchanged; // never delete the input itself
        }
        return platform::DeleteFile(output) ? CopyOutcome::Unchanged : CopyOutcome::Failed;
    }
    // A read-only file or a link at the copy's name is left alone; it is not a current copy.
    return CopyOutcome::Failed;
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

CopyResult FileRewriter::Copy(const platform::NativePath& input,
    const platform::NativePath& outputFolder, const platform::NativePath& name,
    const std::function<bool()>& mayWrite, bool freshFolder)
{
    std::unique_lock<std::mutex> inputs;
    if (m_inputs != nullptr) {
        inputs = std::unique_lock(*m_inputs);
    }
    m_outputFolder = outputFolder;
    m_name = name;
    CopyResult result;
    EncodingRule rule = EncodingRule::Detect;
    // At most twice more: once when a copy was begun before the file showed itself to be UTF-8,
    // once when a file taken for UTF-8 is not.
    for (int pass = 0; pass < 3; ++pass) {
        if (!m_input.Open(input)) {
            result.outcome = CopyOutcome::Failed;
            result.reason = FailureReason::CannotOpen;
            return result;
        }
        m_inputId = m_input.Id();
        try {
            result = Rewrite(mayWrite, rule);
        } catch (const std::bad_alloc&) {
            result = Fail(FailureReason::TooLong); // a line too long for the memory there is
        }
        if (!m_restart) {
            break;
        }
        rule = *m_restart;
        m_restart.reset();
        m_output.Abandon();
        m_input.Close();
        m_rewriter.TakeCounts();
        result = Fail(FailureReason::CannotRead); // should the passes run out
    }
    for (const BlockSlots::Slot& slot : m_slots.slots) {
        m_grew = m_grew || slot.buffer.size() > kKeptBuffer;
    }
    return Settle(std::move(result), mayWrite, freshFolder);
}

CopyResult FileRewriter::CopyPrefetched(const PrefetchedFile& file,
    const platform::NativePath& outputFolder, const platform::NativePath& name,
    const std::function<bool()>& mayWrite, bool freshFolder)
{
    m_outputFolder = outputFolder;
    m_name = name;
    m_inputId = file.file.Id();
    Begin();
    CopyResult result;
    try {
        TextEncoding encoding = TextEncoding::Cp932;
        const ScannedBlock* block = file.block;
        const PassEnd end
            = RewriteBlocks([&block] { return std::exchange(block, nullptr); }, mayWrite, encoding);
        result = Finish(end, encoding);
    } catch (const std::bad_alloc&) {
        result = Fail(FailureReason::TooLong);
    }
    if (m_restart) {
        // Its encoding is settled anew on a second reading, as for any file.
        m_output.Abandon();
        m_rewriter.TakeCounts();
        return Copy(file.path, outputFolder, name, mayWrite, freshFolder);
    }
    return Settle(std::move(result), mayWrite, freshFolder);
}

CopyResult FileRewriter::Settle(
    CopyResult result, const std::function<bool()>& mayWrite, bool freshFolder)
{
    GiveBackMemory();
    if (result.outcome == CopyOutcome::Unchanged || result.outcome == CopyOutcome::Binary
        || result.outcome == CopyOutcome::Utf16) {
        if (!freshFolder && DeleteStaleCopy(mayWrite) == CopyOutcome::Failed) {
            result.outcome = CopyOutcome::Failed;
            result.reason = FailureReason::CannotWrite;
        }
    }
    m_input.Close();
    return result;
}

} // namespace engine
