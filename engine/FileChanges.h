#pragma once

#include "engine/ChangeScan.h"
#include "engine/RunReport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// Units [begin, end) of a shown line's text.
struct TextRange {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// One line of a change, decoded in its file's encoding. Bytes that do not decode are shown as
// \xNN, a CR or LF that does not end the line as ␍ or ␊, a line end that is LF alone as ␊, a last
// line without a line end ends in [改行なし]; `shown` holds where those stand in for what is not
// text.
struct ShownLine {
    std::u16string text;
    std::vector<TextRange> differs; // the characters that the other side does not have
    std::vector<TextRange> shown;
};

// A change as the report window shows it: its first line on either side, counted from 1, its
// number of lines there, and as many of its lines as fit the limits Read was given.
struct ShownChange {
    std::uint64_t orgLine = 0, orgLines = 0, copyLine = 0, copyLines = 0;
    std::vector<ShownLine> org, copy;
};

// The changes of one changed file, found as they are asked for and read when they are shown: a
// file with half a million changed lines opens after reading only as far as its first changes,
// and each change costs the few numbers that say where it is until it is shown.
class FileChanges {
public:
    enum class State {
        Ready,
        ChangedSinceRun, // the input or the copy is not as the run left it
        CannotRead, // the input or the copy could not be read where the edits reach
    };

    // Opens the input and the copy; the report must outlive this.
    FileChanges(const ChangedFile& file, const FileEdits& edits);
    FileChanges(const FileChanges&) = delete;
    FileChanges& operator=(const FileChanges&) = delete;

    State Status() const { return m_state; }
    // The changes found so far; FindMore finds the ones after them.
    std::size_t Found() const { return m_changes.size(); }
    bool AllFound() const { return m_allFound || m_state != State::Ready; }
    void FindMore(std::size_t count);
    // The numbers of change i < Found(), without reading it.
    ShownChange Numbers(std::size_t i) const;
    // Change i < Found() read anew, at most `lines` lines of each side and `bytes` bytes of each
    // line; an empty change when the files are no longer as the run left them.
    ShownChange Read(std::size_t i, std::size_t lines, std::size_t bytes);

private:
    // Whether both files are still as the run left them; the state says why not.
    bool StillAsRunLeft();

    TextEncoding m_encoding;
    std::u16string m_markLine; // as a line of the copy shows
    diff::Side m_org;
    diff::Side m_copy;
    State m_state = State::Ready;
    std::vector<diff::Change> m_changes;
    diff::ChangeList m_list;
    bool m_allFound = false;
};

// The units of a and b that their longest common subsequence leaves over, as ranges; a and b
// too long to compare that way differ from their common start to their common end.
void MarkDifferences(const std::u16string& a, const std::u16string& b, std::vector<TextRange>& inA,
    std::vector<TextRange>& inB);

} // namespace engine
