#include "engine/RunCommand.h"

#include "engine/LoadDefinition.h"
#include "engine/Messages.h"
#include "engine/ReplaceFolder.h"

namespace engine {
namespace {

    void EndWithError(RunWindow& window, const std::u16string& message)
    {
        window.SetStatusCaption(message);
        window.Beep();
        window.SetControlsEnabled(true);
    }

    void EndWithError(RunWindow& window, const char16_t* message, const std::u16string& path)
    {
        EndWithError(window, message + (u'\n' + path));
    }

} // namespace

void RunReplace(RunWindow& window, common::PathStyle style)
{
    const char16_t separator = common::Separator(style);

    window.SetBoxText(PathBox::Text1, common::TidyPath(window.BoxText(PathBox::Text1), style));
    // An empty NEW box stays empty: normalised, it would name the file-system root.
    std::u16string newPath = common::TidyPath(window.BoxText(PathBox::Text2), style);
    if (!newPath.empty()) {
        newPath = common::NormalizePath(newPath, style);
        if (newPath.size() >= 2 && newPath[newPath.size() - 1] == separator && newPath[newPath.size() - 2] == separator) {
            newPath.pop_back();
        }
    }
    window.SetBoxText(PathBox::Text2, newPath);
    window.SetBoxText(PathBox::Text3, common::TidyPath(window.BoxText(PathBox::Text3), style));

    const std::u16string orgPath = window.BoxText(PathBox::Text1);
    const std::u16string definitionPath = window.BoxText(PathBox::Text3);
    newPath = window.BoxText(PathBox::Text2);
    if (orgPath.empty() || newPath.empty() || definitionPath.empty()) {
        return;
    }

    window.SetControlsEnabled(false);
    window.EnableStatusLabel();
    window.SetStatusCaption(messages::Starting);
    window.ProcessPendingEvents();

    const bool insertMark = window.Check2Value() == 1;
    PairTable pairs;
    DefinitionOutcome outcome = DefinitionOutcome::NotPaired;
    try {
        outcome = LoadDefinition(definitionPath, pairs);
    } catch (const std::exception&) {
        // A definition too large for memory is a read that failed.
    }
    switch (outcome) {
    case DefinitionOutcome::CannotOpen:
        return EndWithError(window, messages::DefinitionNotFound, definitionPath);
    case DefinitionOutcome::NotPaired:
        return EndWithError(window, messages::DefinitionNotPaired, definitionPath);
    case DefinitionOutcome::Empty:
        window.SetControlsEnabled(true);
        return;
    case DefinitionOutcome::Loaded:
        break;
    }

    const std::unique_ptr<platform::FileSystemObject> fileSystem = window.CreateFileSystemObject();
    if (!fileSystem) {
        return EndWithError(window, messages::NoFileSystemObject);
    }

    // A path with a single separator (a root) is never walked and is no error; any other names a
    // folder that must be there.
    if (const std::optional<LevelPaths> level = SplitFolderPath(orgPath, style)) {
        if (!platform::IsFolder(level->inputFolder)) {
            return EndWithError(window, messages::OrgFolderNotFound, orgPath);
        }
        const std::optional<platform::FileId> org = platform::IdentityOf(level->inputFolder);
        const std::optional<platform::FileId> output = platform::IdentityOf(newPath + level->folderName + separator);
        if (org && output && *org == *output) {
            return EndWithError(window, messages::FoldersOverlap, newPath);
        }
    }

    WalkState state(window, style);
    try {
        ReplaceFolder(orgPath, newPath, *fileSystem, insertMark, pairs, state);
    } catch (const std::exception&) {
        // The walk handles each file's failures itself; whatever else fails ends the run unfinished.
        if (state.firstUnhandled.empty()) {
            state.firstUnhandled = orgPath;
        }
    }
    if (!state.firstUnhandled.empty()) {
        return EndWithError(window, messages::FilesNotHandled, state.firstUnhandled);
    }
    window.SetStatusCaption(messages::Finished);
    window.SetControlsEnabled(true);
}

} // namespace engine
