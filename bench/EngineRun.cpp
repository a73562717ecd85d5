#include "bench/EngineRun.h"

#include "common/Paths.h"
#include "engine/FolderWalk.h"
#include "engine/LoadDefinition.h"
#include "engine/UnifiedDiff.h"
#include "engine/WalkWindow.h"
#include "platform/FileName.h"
#include "platform/FileSystem.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// This process's processor time so far: user and system together, and system alone.
struct ProcessorTime {
    double total = 0;
    double system = 0;
};

ProcessorTime OwnProcessorTime()
{
#ifdef _WIN32
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return static_cast<double>(
                   (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime)
            * 1e-7;
    };
    return { seconds(kernel) + seconds(user), seconds(kernel) };
#else
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return { seconds(usage.ru_utime) + seconds(usage.ru_stime), seconds(usage.ru_stime) };
#endif
}

// The window a benchmark run reports to: it shows nothing and always walks subfolders.
class SilentWindow final : public engine::WalkWindow {
public:
    void SetStatusText(const std::u16string&) override { }
    void ShowReplacing(const platform::NativePath&) override { }
    engine::CheckState SubfoldersOption() const override { return engine::CheckState::Ticked; }
    void ProcessPendingEvents() override { }
};

// A folder path as the walk takes it: ending in the system's separator.
std::u16string FolderText(const std::string& path)
{
    std::u16string text = platform::DecodeFileName(path);
    const char16_t separator = common::Separator(common::NativePathStyle());
    if (text.empty() || text.back() != separator) {
        text.push_back(separator);
    }
    return text;
}

} // namespace

void RemoveTree(const std::string& path) { std::filesystem::remove_all(path); }

EngineRun RunEngine(const std::string& orgFolder, const std::string& definition,
    const std::string& outputParent, const std::string& diffFile)
{
    RemoveTree(outputParent);
    std::filesystem::create_directories(outputParent);
    const std::u16string folderPath = FolderText(orgFolder);
    const std::u16string outputPath = FolderText(outputParent);
    const std::u16string definitionPath = platform::DecodeFileName(definition);

    EngineRun run;
    const ProcessorTime before = OwnProcessorTime();
    const Clock::time_point start = Clock::now();
    engine::RunReport report;
    report.org = folderPath;
    std::u16string unhandled;
    {
        // The pairs and the walk go before the diff is written, as in the program's own run.
        engine::PairTable pairs;
        const engine::DefinitionOutcome outcome = engine::LoadDefinition(definitionPath, pairs);
        run.loadSeconds = SecondsSince(start);
        if (outcome != engine::DefinitionOutcome::Loaded) {
            throw std::runtime_error("the definition " + definition + " did not load");
        }
        SilentWindow window;
        const std::unique_ptr<platform::FileSystemObject> fileSystem
            = platform::CreateFileSystemObject();
        engine::FolderWalk walk(
            window, *fileSystem, pairs, false, common::NativePathStyle(), report);
        walk.RecordEdits(!diffFile.empty());
        if (walk.Start(folderPath, outputPath)) {
            walk.Run();
        }
        unhandled = walk.FirstUnhandled();
    }
    if (!diffFile.empty() && unhandled.empty()) {
        std::ofstream out(diffFile, std::ios::binary | std::ios::trunc);
        std::ostringstream err;
        if (!engine::WriteDiff(report, out, err)) {
            throw std::runtime_error("the diff was not written whole: " + err.str());
        }
    }
    run.seconds = SecondsSince(start);
    const ProcessorTime after = OwnProcessorTime();
    run.cpuSeconds = after.total - before.total;
    run.systemSeconds = after.system - before.system;
    if (!unhandled.empty()) {
        throw std::runtime_error(
            "the engine could not handle " + platform::EncodeFileName(unhandled));
    }
    return run;
}

} // namespace bench
