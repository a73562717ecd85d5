#pragma once

#include "common/Paths.h"
#include "engine/FileRewriter.h"
#include "engine/PairTable.h"
#include "engine/WalkWindow.h"
#include "platform/FileSystem.h"

#include <optional>
#include <string>
#include <vector>

namespace engine {

// What one walk carries from level to level besides its parameters.
struct WalkState {
    WalkState(WalkWindow& window, common::PathStyle style)
        : window(window)
        , style(style)
    {
    }

    WalkWindow& window;
    common::PathStyle style;
    std::optional<FileRewriter> files;          // made at the top level, kept for every level
    std::vector<platform::FileId> descent;      // the input folders from the top to this level
    std::optional<platform::FileId> topOutput;  // the walk never enters its own output tree
    std::u16string orgReal;                     // resolved ORG folder
    std::u16string topOutputReal;               // resolved top-level output folder
    std::u16string firstUnhandled;              // the first input that could not be handled whole
};

// One folder level: its files copied through the pairs into OutputParent + the folder's name,
// unchanged copies deleted, subfolders walked when Check1 is ticked, the output folder removed
// again when it stayed empty.
void ReplaceFolder(const std::u16string& FolderPath, const std::u16string& OutputParent,
    platform::FileSystemObject& FileSystem, bool InsertMark, const PairTable& pairs, WalkState& state);

// The parts of a level's FolderPath; empty when it has fewer than two separators.
struct LevelPaths {
    std::u16string folderName;
    std::u16string patternTail; // the last separator and the pattern after it
    std::u16string inputFolder;
};
std::optional<LevelPaths> SplitFolderPath(const std::u16string& folderPath, common::PathStyle style);

} // namespace engine
