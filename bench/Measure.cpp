#include "bench/Measure.h"

#include "engine/LoadDefinition.h"
#include "engine/ReplaceFolder.h"
#include "engine/WalkWindow.h"
#include "platform/FileName.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double CpuSeconds(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double SystemSeconds(const rusage& usage)
{
    return static_cast<double>(usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_stime.tv_usec) * 1e-6;
}

pid_t Spawn(
    const std::vector<std::string>& argv, bool cLocale, const posix_spawn_file_actions_t* actions)
{
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!cLocale || std::strncmp(*e, "LC_ALL=", 7) != 0) {
            environment.emplace_back(*e);
        }
    }
    if (cLocale) {
        environment.emplace_back("LC_ALL=C");
    }
    std::vector<char*> envp;
    for (std::string& e : environment) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, args[0], actions, nullptr, args.data(), envp.data());
    if (error != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
    }
    return pid;
}

int WaitFor(pid_t pid, rusage* usage = nullptr)
{
    int status = 0;
    while (wait4(pid, &status, 0, usage) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
        }
    }
    return status;
}

void ReadFolder(int folder, std::vector<char>& buffer, std::uint64_t& bytes)
{
    DIR* dir = fdopendir(folder);
    if (dir == nullptr) {
        close(folder);
        throw std::runtime_error(std::string("fdopendir: ") + std::strerror(errno));
    }
    std::vector<std::string> subfolders;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        if (entry->d_type == DT_DIR) {
            subfolders.emplace_back(name);
            continue;
        }
        const int fd = openat(dirfd(dir), name, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            closedir(dir);
            throw std::runtime_error(std::string("cannot open ") + name);
        }
        ssize_t n;
        while ((n = read(fd, buffer.data(), buffer.size())) > 0) {
            bytes += static_cast<std::uint64_t>(n);
        }
        close(fd);
    }
    for (const std::string& name : subfolders) {
        const int sub = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (sub >= 0) {
            ReadFolder(sub, buffer, bytes);
        }
    }
    closedir(dir);
}

struct ChildReport {
    double seconds;
    double cpuSeconds;
    double systemSeconds;
    double loadSeconds;
    long inheritedKiB;
    int ok;
};

} // namespace

double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

double ReadTree(const std::string& root, std::uint64_t& bytes)
{
    // The engine's block size: a file of W1 fits whole, a larger one passes through.
    std::vector<char> buffer(std::size_t(1) << 18);
    bytes = 0;
    const Clock::time_point start = Clock::now();
    const int folder = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        throw std::runtime_error("cannot open " + root);
    }
    ReadFolder(folder, buffer, bytes);
    return SecondsSince(start);
}

ChildEngineRun RunEngineInChild(const std::string& orgFolder, const std::string& definition,
    const std::string& outputParent, const std::string& diffFile)
{
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    // Freed heap handed back first: the child starts with as little of ours as can be.
    malloc_trim(0);
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        close(fds[0]);
        ChildReport report {};
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        report.inheritedKiB = usage.ru_maxrss;
        try {
            const EngineRun run = RunEngine(orgFolder, definition, outputParent, diffFile);
            report.seconds = run.seconds;
            report.cpuSeconds = run.cpuSeconds;
            report.systemSeconds = run.systemSeconds;
            report.loadSeconds = run.loadSeconds;
            report.ok = 1;
        } catch (const std::exception&) {
            report.ok = 0;
        }
        const bool written
            = write(fds[1], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
        // _exit: the parent's cleanup (its temporary folder) must not run here.
        _exit(written && report.ok == 1 ? 0 : 1);
    }
    close(fds[1]);
    ChildReport report {};
    std::size_t got = 0;
    while (got < sizeof report) {
        const ssize_t n = read(fds[0], reinterpret_cast<char*>(&report) + got, sizeof report - got);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    close(fds[0]);
    rusage usage {};
    const int status = WaitFor(pid, &usage);
    if (got != sizeof report || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.ok != 1) {
        throw std::runtime_error("the engine run in a child process failed on " + orgFolder);
    }
    ChildEngineRun result;
    result.run.seconds = report.seconds;
    result.run.cpuSeconds = report.cpuSeconds;
    result.run.systemSeconds = report.systemSeconds;
    result.run.loadSeconds = report.loadSeconds;
    result.peakKiB = usage.ru_maxrss;
    result.inheritedKiB = report.inheritedKiB;
    return result;
}

CommandRun RunCommand(const std::vector<std::string>& argv, bool cLocale)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = Spawn(argv, cLocale, nullptr);
    rusage usage {};
    const int status = WaitFor(pid, &usage);
    CommandRun run;
    run.seconds = SecondsSince(start);
    run.cpuSeconds = CpuSeconds(usage);
    run.systemSeconds = SystemSeconds(usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(argv[0] + " failed");
    }
    return run;
}

bool CommandOutputHas(const std::vector<std::string>& argv, const std::string& text)
{
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = 0;
    try {
        pid = Spawn(argv, true, &actions);
    } catch (const std::exception&) {
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string output;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fds[0], chunk, sizeof chunk)) > 0) {
        output.append(chunk, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    const int status = WaitFor(pid);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && output.find(text) != std::string::npos;
}

} // namespace bench
