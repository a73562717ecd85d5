#pragma once

#include "engine/RunReport.h"

#include <ostream>
#include <string>
#include <string_view>

namespace engine {

enum class DiffOutcome {
    Written, // the file's hunks were written (none when the copy equals its input)
    ChangedSinceRun, // the input or the copy is not as the run left it: nothing was written
    CannotRead, // the input or the copy could not be read to the end
};

// The unified diff of one changed file, as diff -u writes it: "--- a/NAME" and "+++ b/NAME"
// with the time after a tab, then hunks of whole lines (ended by LF, as diff and patch take lines)
// with three lines of context. Made from the run's edits: only the lines that hold an edit are
// compared, context comes from the input, added lines from the copy, and both are read in pieces,
// never held whole.
DiffOutcome WriteFileDiff(const ChangedFile& file, const FileEdits& edits, std::string_view name,
    std::string_view time, std::ostream& out);

// The diff of every changed file of a run that recorded edits, one time in every header. A file
// that is not as the run left it, or that cannot be read, is named on err and left out, and so is
// a file the run could not handle; false then, or when out failed.
bool WriteDiff(const RunReport& report, std::ostream& out, std::ostream& err);

// The file's path from the ORG folder down, '/' between its names, as the file system spells it.
std::string DiffName(const RunReport& report, const ChangedFile& file);
// Now, as diff writes a time: "2026-01-31 12:00:00.000000000 +0000".
std::string DiffTime();

} // namespace engine
