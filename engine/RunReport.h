#pragma once

#include "engine/EditList.h"
#include "engine/PairTable.h"
#include "engine/TextEncoding.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace engine {

// A file whose copy was written.
struct ChangedFile {
    std::u16string path; // the input, as the status line names it
    TextEncoding encoding = TextEncoding::Cp932;
    // (pair index, replacements made by that pair), in table order; pairs that made none are left
    // out.
    std::vector<std::pair<int, std::uint64_t>> replacements;
};

// Where a changed file's copy differs from it, when the run recorded edits, and both files'
// stamps as the run left them, to tell a file written since.
struct FileEdits {
    std::u16string copy; // the copy's path
    EditList edits;
    platform::FileStamp orgStamp;
    platform::FileStamp copyStamp;
};

// What the walk left alone on purpose.
enum class SkipReason {
    Binary, // a file holding a NUL byte
    Utf16, // a file with a UTF-16 byte order mark
    VersionControl, // a folder of a version-control system, not walked
};

// Why a file or folder could not be handled whole.
enum class FailureReason {
    CannotOpen, // the input could not be opened
    CannotRead, // the input could not be read to its end
    ChangedWhileRead, // its size, time or identity changed while it was read
    CannotWrite, // the copy could not be written whole (or a stale copy not deleted)
    TooLong, // a line did not fit into memory
    CannotList, // a folder could not be listed or reached
};

// What one run did, gathered while it ran.
struct RunReport {
    bool ran = false; // the run got past its empty-box check
    std::u16string org; // the three paths as the run took them
    std::u16string newFolder;
    std::u16string definition;
    PairTable pairs; // the run's own table, shared, to name the pairs

    std::uint64_t filesRead = 0;
    std::vector<ChangedFile> changed;
    std::vector<FileEdits> edits; // by changed file, when the run recorded edits
    std::vector<std::pair<std::u16string, SkipReason>> skipped;
    std::vector<std::pair<std::u16string, FailureReason>> unhandled;
    std::vector<int> unmatchedPairs; // pairs that matched in no file, in table order
    double seconds = 0;
    std::u16string result; // the status line's final text
};

} // namespace engine
