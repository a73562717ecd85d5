#pragma once

#include "common/Paths.h"
#include "engine/PairTable.h"
#include "engine/RunReport.h"
#include "engine/WalkWindow.h"
#include "platform/FileSystem.h"

#include <string>

namespace engine {

// The walk of one run, from the ORG path (a folder and a file-name pattern) into OutputParent: each
// level's files are copied through the pairs into OutputParent + the folder's name, unchanged
// copies deleted, subfolders walked when the subfolder option is ticked, and the output folder
// removed again when it stayed empty. What it did goes into the report; the first input that could
// not be handled whole is returned (empty when none).
std::u16string ReplaceFolder(const std::u16string& FolderPath, const std::u16string& OutputParent,
    platform::FileSystemObject& FileSystem, bool InsertMark, const PairTable& pairs,
    WalkWindow& window, RunReport& report, common::PathStyle style = common::NativePathStyle());

} // namespace engine
