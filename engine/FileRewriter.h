#pragma once

#include "engine/BlockSource.h"
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
};

// Copies one file line by line through the pairs. The copy is only created once a line has changed,
// so a file that cannot change costs one read; a stale copy of it is still deleted. Memory does not
// grow with the size of a file, nor with a line in which nothing matches; a line that changes
// costs about twice its length while it is rewritten, and is given back after it.
class FileRewriter {
public:
    FileRewriter(const PairTable& table, bool InsertMark);
    // Nothing at the output name is created, changed or deleted unless mayWrite says so at that
    // moment. With freshFolder, the output folder was made for this run and holds no stale copy.
    CopyResult Copy(const platform::NativePath& input, const platform::NativePath& outputFolder,
        const platform::NativePath& name, const std::function<bool()>& mayWrite, bool freshFolder);
    // The same for a file that was read whole ahead of the walk and is still as it was then.
    CopyResult CopyPrefetched(const PrefetchedFile& file, const platform::NativePath& outputFolder,
        const platform::NativePath& name, const std::function<bool()>& mayWrite, bool freshFolder);
    // Held while an input is open, when another thread opens inputs too.
    void ShareInputs(std::mutex* inputs) { m_inputs = inputs; }

private:
    // How the blocks of a file went.
    enum class PassEnd { Whole, Binary, Utf16, Restart, Failed };

    void Begin();
    template <typename NextBlock>
    PassEnd RewriteBlocks(
        NextBlock&& next, const std::function<bool()>& mayWrite, TextEncoding& encoding);
    CopyResult Finish(PassEnd end, TextEncoding encoding);
    // What is left to do after a file's pass: memory given back, a stale copy deleted.
    CopyResult Settle(CopyResult result, const std::function<bool()>& mayWrite, bool freshFolder);
    CopyResult Rewrite(const std::function<bool()>& mayWrite, EncodingRule rule);
    // False when a changed line's copy could not be created.
    bool RewriteBlock(const ScannedBlock& block, const std::function<bool()>& mayWrite);
    bool LongLinePiece(const ScannedBlock& block, std::size_t& at, std::size_t& hit, bool& goesOn,
        const std::function<bool()>& mayWrite);
    bool FinishLongLine(std::uint64_t end, std::uint64_t next, bool unterminated,
        const std::function<bool()>& mayWrite);
    bool WriteChangedLine(
        std::uint64_t start, std::uint64_t next, const std::function<bool()>& mayWrite);
    // The copy is complete up to this offset of the input: unchanged bytes up to it are written.
    bool CopyUnchangedUpTo(std::uint64_t offset, bool addFinalLineEnd);
    void WriteUnchanged(std::string_view bytes, bool mayHoldLoneCr, bool inBlock);
    bool CopyFromInput(std::uint64_t from, std::uint64_t to);
    CopyResult Fail(FailureReason reason);
    CopyOutcome DeleteStaleCopy(const std::function<bool()>& mayWrite);
    void GiveBackMemory();

    const PairTable& m_table;
    LineRewriter m_rewriter;
    platform::InputFile m_input;
    platform::FileId m_inputId; // of the file being copied, open or read ahead
    std::mutex* m_inputs = nullptr;
    platform::OutputFile m_output;
    platform::NativePath m_outputFolder;
    platform::NativePath m_name;
    BlockSlots m_slots;
    // The encoding the copy was begun in; a file that turns out otherwise is read again.
    std::optional<TextEncoding> m_written;
    std::optional<EncodingRule> m_restart;

    std::uint64_t m_copied = 0; // the copy holds the input up to here (while it is open)
    const ScannedBlock* m_block = nullptr; // the block in hand
    bool m_inLongLine = false; // a line longer than a block goes on in the next block
    std::uint64_t m_longLineStart = 0;
    std::vector<int> m_candidates;
    bool m_grew = false; // a line longer than a block was read into memory
    FailureReason m_failure = FailureReason::CannotWrite; // why a block could not be rewritten
};

} // namespace engine
