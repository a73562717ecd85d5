#pragma once

#include "engine/BlockSource.h"
#include "engine/PairTable.h"
#include "engine/RewriteLine.h"
#include "platform/TextFile.h"

#include <functional>
#include <string>
#include <vector>

namespace engine {

enum class CopyOutcome {
    Unchanged, // no pair matched; no copy is left at the output name
    Changed,   // the whole copy was written
    Failed,    // the file could not be handled whole; no partial copy is left
};

// Copies one file line by line through the pairs. The copy is only created once a line has changed,
// so a file that cannot change costs one read; a stale copy of it is still deleted.
class FileRewriter {
public:
    FileRewriter(const PairTable& table, bool insertMark);
    // Nothing at the output name is created, changed or deleted unless mayWrite says so at that
    // moment. With freshFolder, the output folder was made for this run and holds no stale copy.
    CopyOutcome Copy(const std::u16string& input, const std::u16string& output,
        const std::function<bool()>& mayWrite, bool freshFolder);

private:
    // False when a changed line's copy could not be created.
    bool RewriteBlocks(BlockSource& source, bool everyLine, const std::u16string& output,
        const std::function<bool()>& mayWrite);
    bool OpenOutput(const std::u16string& output, const std::function<bool()>& mayWrite, std::uint64_t changedLineOffset);
    void CopyUnchanged(std::string_view bytes, bool addFinalLineEnd, bool mayHoldLoneCr);
    CopyOutcome Fail(const std::u16string& output);
    CopyOutcome DeleteStaleCopy(const std::u16string& output, const std::function<bool()>& mayWrite);

    const PairTable& m_table;
    LineRewriter m_rewriter;
    platform::InputFile m_input;
    platform::OutputFile m_output;
    BlockSlots m_slots;
    std::string m_records;
    std::vector<int> m_found;
};

} // namespace engine
