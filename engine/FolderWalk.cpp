#include "engine/FolderWalk.h"

#include "engine/Messages.h"
#include "platform/LowerCase.h"

#include <algorithm>
#include <array>
#include <deque>

namespace engine {
namespace {

using platform::NativePath;

// The folders of version-control systems hold pristine copies of the tree's files: rewritten,
// they would corrupt the working copy when the NEW tree is copied back. Where the file system
// ignores letter case (the Windows style), .SVN and cvs are those folders too.
bool IsVersionControlFolder(const NativePath& name, common::PathStyle style)
{
    static constexpr std::array<std::u16string_view, 6> names { u".git", u".svn", u"_svn", u".hg",
        u".bzr", u"CVS" };
    const std::u16string text
        = style == common::PathStyle::Windows ? platform::LowerCase(name.Text()) : name.Text();
    return std::any_of(names.begin(), names.end(), [&](std::u16string_view vcs) {
        return style == common::PathStyle::Windows ? text == platform::LowerCase(vcs) : text == vcs;
    });
}

} // namespace

FolderWalk::FolderWalk(WalkWindow& window, platform::FileSystemObject& FileSystem,
    const PairTable& pairs, bool InsertMark, common::PathStyle style, RunReport& report)
    : m_window(window)
    , m_fileSystem(FileSystem)
    , m_files(pairs, InsertMark, m_inputs)
    , m_prefetcher(pairs.Compiled().prefilter, m_inputs)
    , m_style(style)
    , m_report(report)
{
}

bool FolderWalk::Start(const std::u16string& FolderPath, const std::u16string& OutputParent)
{
    const char16_t separator = common::Separator(m_style);
    const auto last = FolderPath.rfind(separator);
    if (last == std::u16string::npos || last == 0) {
        return false;
    }
    const auto previous = FolderPath.rfind(separator, last - 1);
    if (previous == std::u16string::npos) {
        return false;
    }
    m_orgFolder = NativePath::FromText(FolderPath.substr(0, last + 1));
    m_orgName = NativePath::FromText(FolderPath.substr(previous + 1, last - previous - 1));
    m_pattern = platform::NamePattern(FolderPath.substr(last + 1));
    m_newFolder = NativePath::FromText(OutputParent);
    return true;
}

FolderWalk::Check FolderWalk::CheckFolders() const
{
    if (!platform::IsFolder(m_orgFolder)) {
        return Check::OrgMissing;
    }
    if (!platform::IsFolder(m_newFolder)) {
        return Check::NewMissing;
    }
    const std::optional<platform::FileId> org = platform::IdentityOf(m_orgFolder);
    const std::optional<platform::FileId> output
        = platform::IdentityOf(m_newFolder + m_orgName + platform::NativeSeparator);
    return org && output && *org == *output ? Check::Overlap : Check::Ready;
}

void FolderWalk::Run() { Level(m_orgFolder, m_newFolder, m_orgName); }

void FolderWalk::Unhandled(const NativePath& path, FailureReason reason)
{
    std::u16string text = path.Text();
    if (m_firstUnhandled.empty()) {
        m_firstUnhandled = text;
    }
    m_report.unhandled.emplace_back(std::move(text), reason);
}

void FolderWalk::Report(const NativePath& input, const CopyTarget& target, CopyResult result)
{
    ++m_report.filesRead;
    switch (result.outcome) {
    case CopyOutcome::Unchanged:
        break;
    case CopyOutcome::Changed:
        m_report.changed.push_back(
            { input.Text(), result.encoding, std::move(result.replacements) });
        if (m_recording) {
            m_report.edits.push_back({ (target.folder + target.name).Text(),
                std::move(result.edits), result.orgStamp, result.copyStamp });
        }
        break;
    case CopyOutcome::Binary:
        m_report.skipped.emplace_back(input.Text(), SkipReason::Binary);
        break;
    case CopyOutcome::Utf16:
        m_report.skipped.emplace_back(input.Text(), SkipReason::Utf16);
        break;
    case CopyOutcome::Failed:
        Unhandled(input, result.reason);
        break;
    }
}

void FolderWalk::Level(
    const NativePath& inputFolder, const NativePath& outputParent, const NativePath& folderName)
{
    const NativePath outputFolder = outputParent + folderName + platform::NativeSeparator;
    const bool top = m_descent.empty();

    // A folder made just now holds no stale copies to look for.
    const bool freshOutput = platform::MakeFolder(outputFolder);
    const NativePath outputReal = platform::RealPath(outputFolder);
    if (top) {
        m_topOutput = platform::IdentityOf(outputFolder);
        m_topOutputReal = outputReal;
        m_orgReal = platform::RealPath(inputFolder);
    }
    // A level whose output folder resolves into the ORG tree would write over ORG files: nothing is
    // written or deleted there. Only an output tree made inside the ORG tree (NEW inside ORG) is
    // ours, since the walk never enters it.
    const bool ownOutputTree = platform::IsInside(m_topOutputReal, m_orgReal)
        && platform::IsInside(outputReal, m_topOutputReal);
    const bool outputWritable
        = outputReal.Empty() || !platform::IsInside(outputReal, m_orgReal) || ownOutputTree;
    m_descent.push_back(platform::IdentityOf(inputFolder).value_or(platform::FileId {}));

    if (!freshOutput && outputWritable) {
        platform::RemoveLeftOverTemporaries(outputFolder);
    }
    CopyFiles(inputFolder, outputFolder, freshOutput, outputWritable);

    if (m_window.SubfoldersOption() == CheckState::Ticked) {
        const std::optional<platform::Folder> folder = m_fileSystem.GetFolder(inputFolder);
        if (!folder) {
            m_descent.pop_back();
            return;
        }
        if (folder->incomplete) {
            Unhandled(inputFolder, FailureReason::CannotList);
        }
        for (const platform::SubFolder& sub : folder->subFolders) {
            // Neither a folder already on the way down (a link closing a cycle) nor our own output.
            if (std::find(m_descent.begin(), m_descent.end(), sub.id) != m_descent.end()
                || (m_topOutput && sub.id == *m_topOutput)) {
                continue;
            }
            if (IsVersionControlFolder(sub.Name, m_style)) {
                m_report.skipped.emplace_back(
                    (inputFolder + sub.Name).Text(), SkipReason::VersionControl);
                continue;
            }
            m_window.ShowReplacing(sub.Name);
            m_window.ProcessPendingEvents();
            Level(inputFolder + sub.Name + platform::NativeSeparator, outputFolder, sub.Name);
        }
    }
    m_descent.pop_back();
    platform::RemoveFolder(outputFolder);
}

void FolderWalk::CopyFiles(const NativePath& inputFolder, const NativePath& outputFolder,
    bool freshOutput, bool outputWritable)
{
    const std::optional<platform::FileId> outputId = platform::IdentityOf(outputFolder);
    // An output folder swapped for another (a link into the ORG tree, say) since the level began
    // is not ours to write in; asked only when a copy is about to be written or deleted.
    CopyTarget target { outputFolder, {},
        [&] { return outputWritable && platform::IdentityOf(outputFolder) == outputId; },
        freshOutput };
    platform::FileLister lister(inputFolder, m_pattern);
    // Names listed ahead of the walk, as many as the prefetching thread has room for. What it read
    // is used only if the file, at its turn (after the window had its say), is as it was then;
    // otherwise the walk reads it again.
    std::deque<NativePath> names;
    bool listed = false;
    const auto listAhead = [&] {
        while (!listed && (names.empty() || (m_prefetcher.Running() && m_prefetcher.HasRoom()))) {
            NativePath next;
            listed = !lister.Next(next);
            if (!listed) {
                if (m_prefetcher.Running()) {
                    m_prefetcher.Add(inputFolder + next);
                }
                names.push_back(std::move(next));
            }
        }
    };
    for (listAhead(); !names.empty(); listAhead()) {
        const NativePath name = std::move(names.front());
        names.pop_front();
        m_window.ShowReplacing(name);
        m_window.ProcessPendingEvents();
        const NativePath input = inputFolder + name;
        target.name = name;
        PrefetchedFile* ahead = m_prefetcher.Running() ? &m_prefetcher.Take() : nullptr;
        Report(input, target,
            ahead != nullptr && ahead->Usable() ? m_files.CopyPrefetched(*ahead, target)
                                                : m_files.Copy(input, target));
    }
    if (lister.Failed()) {
        Unhandled(inputFolder, FailureReason::CannotList);
    }
}

std::u16string ReplaceFolder(const std::u16string& FolderPath, const std::u16string& OutputParent,
    platform::FileSystemObject& FileSystem, bool InsertMark, const PairTable& pairs,
    WalkWindow& window, RunReport& report, common::PathStyle style)
{
    FolderWalk walk(window, FileSystem, pairs, InsertMark, style, report);
    if (walk.Start(FolderPath, OutputParent)) {
        walk.Run();
    }
    return walk.FirstUnhandled();
}

} // namespace engine
