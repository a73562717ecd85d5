#pragma once

#include "engine/BlockSource.h"
#include "engine/EditList.h"
#include "engine/PairTable.h"
#include "engine/Prefetcher.h"
#include "engine/RewriteLine.h"
#include "engine/RunReport.h"
#include "platform/TextFile.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace engine {

enum class CopyOutcome {
    Unchanged, // no pair matched; no copy is left at the output name
    Changed, // the whole copy was written
    Binary, // a file holding a NUL byte: never rewritten, no copy left
    Utf16, // a file with a UTF-16 byte order mark: never rewritten, no copy left
    Failed, // the file could not be handled whole; nothing of this run is left at the name
};

struct CopyResult {
    CopyOutcome outcome = CopyOutcome::Unchanged;
    FailureReason reason = FailureReason::CannotOpen; // when Failed
    TextEncoding encoding = TextEncoding::Cp932;
    std::vector<std::pair<int, std::uint64_t>> replacements; // when Changed
    // When Changed and edits are recorded: where the copy differs, and both files' stamps as the
    // run left them.
    EditList edits;
    platform::FileStamp orgStamp;
    platform::FileStamp copyStamp;
};

// Where the copy of one file goes.
struct CopyTarget {
    platform::NativePath folder;
    platform::NativePath name;
    // Asked just before anything at the copy's name is created or deleted: nothing there is
    // touched unless it says so at that moment.
    std::function<bool()> mayWrite;
    bool freshFolder = false; // the folder was made for this run and holds no stale copy
};

// Copies one file line by line through the pairs. The copy is only created once a line has changed,
// so a file that cannot change costs one read; a stale copy of it is still deleted. Memory does not
// grow with the size of a file, nor with a line in which nothing matches; a line that changes
// costs about twice its length while it is rewritten, and is given back after it.
//
// All of it is the walk's: the read-ahead thread of a large file shares only the blocks, through
// the BlockSource.
class FileRewriter {
public:
    // inputs: held while an input is open, since the read-ahead thread opens inputs too.
    FileRewriter(const PairTable& table, bool InsertMark, std::mutex& inputs);
    CopyResult Copy(const platform::NativePath& input, const CopyTarget& target);
    // The same for a file that was read whole ahead of the walk and is still as it was then.
    CopyResult CopyPrefetched(const PrefetchedFile& file, const CopyTarget& target);
    // Whether each copy's edits are recorded; off, the copying costs nothing more.
    void RecordEdits(bool on)
    {
        m_recording = on;
        m_spill = on ? std::make_shared<EditSpill>() : nullptr;
    }

private:
    // How a step ended: done, or the file is read again with its encoding settled, or it cannot
    // be handled whole.
    struct Step {
        enum class End { Done, Restart, Failed } end = End::Done;
        EncodingRule rule = EncodingRule::Detect; // for Restart
        FailureReason reason = FailureReason::CannotRead; // for Failed

        static Step Restart(EncodingRule rule) { return { End::Restart, rule, {} }; }
        static Step Fail(FailureReason reason) { return { End::Failed, {}, reason }; }
        bool Done() const { return end == End::Done; }
    };
    // A line of the block in hand: [start, end) without its terminator, next just after it.
    struct Line {
        std::size_t start, end, next;
    };
    // Where the block in hand is gone through to: the bytes before at are done with, the hits
    // before hit too, and the search texts of the hits before fetched are in the cache.
    struct Cursor {
        std::size_t at = 0;
        std::size_t hit = 0;
        std::size_t fetched = 0;
    };

    static Line LineAround(std::string_view block, std::size_t from, std::size_t at);
    Step RewriteFile(EncodingRule rule, CopyResult& result);
    template <typename NextBlock> Step RewriteBlocks(NextBlock&& next, CopyResult& result);
    Step Commit(CopyResult& result);
    Step RewriteBlock(const ScannedBlock& block);
    Step LongLinePiece(const ScannedBlock& block, Cursor& cursor, bool& goesOn);
    Step FinishLongLine(std::uint64_t end, std::uint64_t next, bool unterminated);
    bool NextLineWithHit(const ScannedBlock& block, Cursor& cursor, Line& line);
    void GatherCandidates(const ScannedBlock& block, std::size_t hit, const Line& line);
    Step WriteChangedLine(std::uint64_t start, std::uint64_t next);
    Step OpenCopy(TextEncoding encoding);
    // The copy is complete up to this offset of the input: unchanged bytes up to it are written.
    Step CopyUnchangedUpTo(std::uint64_t offset, bool addFinalLineEnd);
    // bytes are the input's from offset origin on.
    void WriteUnchanged(
        std::string_view bytes, bool mayHoldLoneCr, bool inBlock, std::uint64_t origin);
    bool CopyFromInput(std::uint64_t from, std::uint64_t to);
    // Nothing of this pass is kept: the copy begun is removed, the input closed, the counts
    // forgotten.
    void DropPass();
    CopyResult Settle(CopyResult result);
    bool DeleteStaleCopy();
    void GiveBackMemory();

    const PairTable& m_table;
    LineRewriter m_rewriter;
    platform::InputFile m_input;
    platform::FileId m_inputId; // of the file being copied, open or read ahead
    std::mutex& m_inputs;
    platform::OutputFile m_output;
    const CopyTarget* m_target = nullptr; // during Copy
    BlockSlots m_slots;
    Prefilter::ScanBuffer m_scan;
    // The encoding the copy was begun in; a file that turns out otherwise is read again.
    std::optional<TextEncoding> m_written;

    std::uint64_t m_copied = 0; // the copy holds the input up to here (while it is open)
    const ScannedBlock* m_block = nullptr; // the block in hand
    bool m_inLongLine = false; // a line longer than a block goes on in the next block
    std::uint64_t m_longLineStart = 0;
    std::vector<int> m_candidates;
    bool m_grew = false; // a line longer than a block was read into memory
    bool m_recording = false;
    EditList m_edits; // of the pass in hand, while recording
    std::shared_ptr<EditSpill> m_spill; // for the full pieces of every copy's edits
};

} // namespace engine
