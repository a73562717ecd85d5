#pragma once

#include "common/Paths.h"
#include "engine/FileRewriter.h"
#include "engine/PairTable.h"
#include "engine/Prefetcher.h"
#include "engine/RunReport.h"
#include "engine/WalkWindow.h"
#include "platform/FileSystem.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// One walk of the ORG tree into the NEW folder: it owns what every level needs, from the pair table
// and the file rewriter to the folders on the way down, and gathers the run's report.
class FolderWalk {
public:
    FolderWalk(WalkWindow& window, platform::FileSystemObject& FileSystem, const PairTable& pairs,
        bool InsertMark, common::PathStyle style, RunReport& report);

    // Takes the top level apart: the ORG folder and its pattern, and the folder the output goes
    // into. False for a path with fewer than two separators (a root): nothing is walked.
    bool Start(const std::u16string& FolderPath, const std::u16string& OutputParent);

    enum class Check { Ready, OrgMissing, NewMissing, Overlap };
    // What must hold before anything is written: both folders there, and the top-level output
    // folder not the ORG folder itself.
    Check CheckFolders() const;

    // Every level, from the top.
    void Run();
    // Whether the changed files' edits go into the report.
    void RecordEdits(bool on)
    {
        m_recording = on;
        m_files.RecordEdits(on);
    }
    // The first input or folder that could not be handled whole; empty when there was none.
    const std::u16string& FirstUnhandled() const { return m_firstUnhandled; }

private:
    void Level(const platform::NativePath& inputFolder, const platform::NativePath& outputParent,
        const platform::NativePath& folderName);
    void CopyFiles(const platform::NativePath& inputFolder,
        const platform::NativePath& outputFolder, bool freshOutput, bool outputWritable);
    void Unhandled(const platform::NativePath& path, FailureReason reason);
    // What became of one input, into the report.
    void Report(const platform::NativePath& input, const CopyTarget& target, CopyResult result);

    WalkWindow& m_window;
    platform::FileSystemObject& m_fileSystem;
    std::mutex m_inputs; // held while an input is open, on either thread
    FileRewriter m_files;
    Prefetcher m_prefetcher; // small files read ahead on a second thread
    common::PathStyle m_style;
    RunReport& m_report;

    platform::NativePath m_orgFolder; // the top level's input folder
    platform::NativePath m_orgName;
    platform::NativePath m_newFolder;
    platform::NamePattern m_pattern { u"" };
    std::vector<platform::FileId> m_descent; // the input folders from the top to this level
    std::optional<platform::FileId> m_topOutput; // the walk never enters its own output tree
    platform::NativePath m_orgReal; // resolved ORG folder
    platform::NativePath m_topOutputReal; // resolved top-level output folder
    std::u16string m_firstUnhandled;
    bool m_recording = false;
};

} // namespace engine
