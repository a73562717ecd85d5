#include "engine/RunCommand.h"

#include "engine/FolderWalk.h"
#include "engine/LoadDefinition.h"
#include "engine/Messages.h"

#include <chrono>

namespace engine {
namespace {

void EndWithError(RunWindow& window, RunReport& report, const std::u16string& message)
{
    report.result = message;
    window.SetStatusText(message);
    window.Beep();
    window.SetControlsEnabled(true);
}

void EndWithError(
    RunWindow& window, RunReport& report, const char16_t* message, const std::u16string& path)
{
    EndWithError(window, report, message + (u'\n' + path));
}

// The pairs that replaced nothing in any copy written.
void UnmatchedPairs(RunReport& report)
{
    std::vector<bool> matched(report.pairs.Count());
    for (const ChangedFile& file : report.changed) {
        for (const auto& [pair, count] : file.replacements) {
            matched[static_cast<std::size_t>(pair)] = true;
        }
    }
    for (std::size_t k = 0; k < matched.size(); ++k) {
        if (!matched[k]) {
            report.unmatchedPairs.push_back(static_cast<int>(k));
        }
    }
}

// Trims (and, where the file system ignores case, lower-cases) the three boxes and writes them
// back; the NEW box becomes its folder, ending in one separator.
void TidyBoxes(RunWindow& window, common::PathStyle style)
{
    const char16_t separator = common::Separator(style);
    window.SetBoxText(PathBox::Org, common::TidyPath(window.BoxText(PathBox::Org), style));
    // An empty NEW box stays empty: normalised, it would name the file-system root.
    std::u16string newPath = common::TidyPath(window.BoxText(PathBox::New), style);
    if (!newPath.empty()) {
        newPath = common::NormalizePath(newPath, style);
        if (newPath.size() >= 2 && newPath[newPath.size() - 1] == separator
            && newPath[newPath.size() - 2] == separator) {
            newPath.pop_back();
        }
    }
    window.SetBoxText(PathBox::New, newPath);
    window.SetBoxText(
        PathBox::Definition, common::TidyPath(window.BoxText(PathBox::Definition), style));
}

// False when the run ends here: the definition could not be loaded, or holds no pair.
bool LoadPairs(RunWindow& window, RunReport& report, const std::u16string& path, PairTable& pairs)
{
    switch (LoadDefinition(path, pairs)) {
    case DefinitionOutcome::CannotOpen:
        EndWithError(window, report, messages::DefinitionNotFound, path);
        return false;
    case DefinitionOutcome::NotPaired:
        EndWithError(window, report, messages::DefinitionNotPaired, path);
        return false;
    case DefinitionOutcome::TooLarge:
        EndWithError(window, report, messages::DefinitionTooLarge, path);
        return false;
    case DefinitionOutcome::Empty:
        window.SetControlsEnabled(true);
        return false;
    case DefinitionOutcome::Loaded:
        break;
    }
    report.pairs = pairs;
    return true;
}

// The walk of the ORG tree into the NEW folder; false when the run ended with an error.
bool WalkTree(RunWindow& window, RunReport& report, FolderWalk& walk, const std::u16string& orgPath,
    const std::u16string& newPath)
{
    // A path with a single separator (a root) is never walked and is no error; any other names a
    // folder that must be there, as must the NEW folder, before anything is written.
    if (!walk.Start(orgPath, newPath)) {
        return true;
    }
    switch (walk.CheckFolders()) {
    case FolderWalk::Check::OrgMissing:
        EndWithError(window, report, messages::OrgFolderNotFound, orgPath);
        return false;
    case FolderWalk::Check::NewMissing:
        EndWithError(window, report, messages::NewFolderNotFound, newPath);
        return false;
    case FolderWalk::Check::Overlap:
        EndWithError(window, report, messages::FoldersOverlap, newPath);
        return false;
    case FolderWalk::Check::Ready:
        break;
    }
    std::u16string unhandled;
    try {
        walk.Run();
        unhandled = walk.FirstUnhandled();
    } catch (const std::exception&) {
        // The walk handles each file's failures itself; whatever else fails ends the run
        // unfinished.
        unhandled = walk.FirstUnhandled().empty() ? orgPath : walk.FirstUnhandled();
    }
    UnmatchedPairs(report);
    if (!unhandled.empty()) {
        EndWithError(window, report, messages::FilesNotHandled, unhandled);
        return false;
    }
    return true;
}

void RunSteps(RunWindow& window, common::PathStyle style, bool recordEdits, RunReport& report)
{
    TidyBoxes(window, style);
    const std::u16string orgPath = window.BoxText(PathBox::Org);
    const std::u16string newPath = window.BoxText(PathBox::New);
    const std::u16string definitionPath = window.BoxText(PathBox::Definition);
    if (orgPath.empty() || newPath.empty() || definitionPath.empty()) {
        return;
    }
    report.ran = true;
    report.org = orgPath;
    report.newFolder = newPath;
    report.definition = definitionPath;

    window.SetControlsEnabled(false);
    window.EnableStatusLabel();
    window.SetStatusText(messages::Starting);
    window.ProcessPendingEvents();

    const bool insertMark = window.InsertMarkOption() == CheckState::Ticked;
    PairTable pairs;
    if (!LoadPairs(window, report, definitionPath, pairs)) {
        return;
    }
    const std::unique_ptr<platform::FileSystemObject> fileSystem = window.CreateFileSystemObject();
    if (!fileSystem) {
        return EndWithError(window, report, messages::NoFileSystemObject);
    }
    FolderWalk walk(window, *fileSystem, pairs, insertMark, style, report);
    walk.RecordEdits(recordEdits);
    if (!WalkTree(window, report, walk, orgPath, newPath)) {
        return;
    }
    report.result = messages::Finished;
    window.SetStatusText(messages::Finished);
    window.SetControlsEnabled(true);
}

} // namespace

RunReport RunReplace(RunWindow& window, common::PathStyle style, bool recordEdits)
{
    RunReport report;
    const auto started = std::chrono::steady_clock::now();
    RunSteps(window, style, recordEdits, report);
    report.seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return report;
}

} // namespace engine
