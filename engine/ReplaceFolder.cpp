#include "engine/ReplaceFolder.h"

#include "engine/Messages.h"

#include <algorithm>

namespace engine {
namespace {

    bool IsInside(const std::u16string& path, const std::u16string& root, char16_t separator)
    {
        if (root.empty() || path.size() < root.size() || path.compare(0, root.size(), root) != 0) {
            return false;
        }
        return path.size() == root.size() || path[root.size()] == separator || root.back() == separator;
    }

    void Remember(WalkState& state, const std::u16string& input)
    {
        if (state.firstUnhandled.empty()) {
            state.firstUnhandled = input;
        }
    }

} // namespace

std::optional<LevelPaths> SplitFolderPath(const std::u16string& folderPath, common::PathStyle style)
{
    const char16_t separator = common::Separator(style);
    const auto last = folderPath.rfind(separator);
    if (last == std::u16string::npos || last == 0) {
        return std::nullopt;
    }
    const auto previous = folderPath.rfind(separator, last - 1);
    if (previous == std::u16string::npos) {
        return std::nullopt;
    }
    return LevelPaths { folderPath.substr(previous + 1, last - previous - 1), folderPath.substr(last),
        folderPath.substr(0, last + 1) };
}

void ReplaceFolder(const std::u16string& FolderPath, const std::u16string& OutputParent,
    platform::FileSystemObject& FileSystem, bool InsertMark, const PairTable& pairs, WalkState& state)
{
    const std::optional<LevelPaths> level = SplitFolderPath(FolderPath, state.style);
    if (!level) {
        return;
    }
    const char16_t separator = common::Separator(state.style);
    const std::u16string outputFolder = OutputParent + level->folderName + separator;
    const std::u16string pattern = level->patternTail.substr(1);
    const bool top = state.descent.empty();
    if (!state.files) {
        state.files.emplace(pairs, InsertMark);
    }

    // A folder made just now holds no stale copies to look for.
    const bool freshOutput = platform::MakeFolder(outputFolder);
    const std::optional<platform::FileId> outputId = platform::IdentityOf(outputFolder);
    const std::u16string outputReal = platform::RealPath(outputFolder);
    if (top) {
        state.topOutput = platform::IdentityOf(outputFolder);
        state.topOutputReal = outputReal;
        state.orgReal = platform::RealPath(level->inputFolder);
    }
    // A level whose output folder resolves into the ORG tree would write over ORG files: nothing is
    // written or deleted there. Only an output tree made inside the ORG tree (NEW inside ORG) is
    // ours, since the walk never enters it.
    const bool ownOutputTree = IsInside(state.topOutputReal, state.orgReal, u'/')
        && IsInside(outputReal, state.topOutputReal, u'/');
    const bool outputWritable = outputReal.empty() || !IsInside(outputReal, state.orgReal, u'/') || ownOutputTree;
    state.descent.push_back(platform::IdentityOf(level->inputFolder).value_or(platform::FileId {}));

    {
        platform::FileLister lister(level->inputFolder, pattern);
        std::u16string name;
        while (lister.Next(name)) {
            state.window.SetStatusText(messages::Replacing + name);
            state.window.ProcessPendingEvents();
            const std::u16string input = level->inputFolder + name;
            // An output folder swapped for another (a link into the ORG tree, say) since the level
            // began is not ours to write in; asked only when a copy is about to be written or deleted.
            const auto mayWrite = [&] { return outputWritable && platform::IdentityOf(outputFolder) == outputId; };
            const CopyOutcome outcome = state.files->Copy(input, outputFolder + name, mayWrite, freshOutput);
            if (outcome == CopyOutcome::Failed) {
                Remember(state, input);
            }
        }
        if (lister.Failed()) {
            Remember(state, level->inputFolder);
        }
    }

    if (state.window.SubfoldersOption() == CheckState::Ticked) {
        const std::optional<platform::Folder> folder = FileSystem.GetFolder(level->inputFolder);
        if (!folder) {
            state.descent.pop_back();
            return;
        }
        for (const platform::SubFolder& sub : folder->subFolders) {
            // Neither a folder already on the way down (a link closing a cycle) nor our own output.
            if (std::find(state.descent.begin(), state.descent.end(), sub.id) != state.descent.end()
                || (state.topOutput && sub.id == *state.topOutput)) {
                continue;
            }
            state.window.SetStatusText(messages::Replacing + sub.Name);
            state.window.ProcessPendingEvents();
            ReplaceFolder(level->inputFolder + sub.Name + level->patternTail, outputFolder, FileSystem,
                InsertMark, pairs, state);
        }
    }
    state.descent.pop_back();
    platform::RemoveFolder(outputFolder);
}

} // namespace engine
