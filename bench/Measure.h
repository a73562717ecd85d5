#pragma once

#include "bench/EngineRun.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

double Median(std::vector<double> values);

// The floor under any run: every file of the tree read once through one buffer, in this process,
// the folders walked as the engine walks them. Returns seconds; bytes gets what was read.
double ReadTree(const std::string& root, std::uint64_t& bytes);

struct ChildEngineRun {
    EngineRun run;
    long peakKiB = 0; // the child's ru_maxrss, as wait4 reports it
    long inheritedKiB = 0; // its ru_maxrss right after fork, before the engine ran
};

// The same run in a forked child, so that the child's own peak resident memory is the engine's.
ChildEngineRun RunEngineInChild(const std::string& orgFolder, const std::string& definition,
    const std::string& outputParent, const std::string& diffFile = {});

struct CommandRun {
    double seconds = 0; // wall clock from spawn to exit
    double cpuSeconds = 0; // user and system time of the command and the children it waited for
    double systemSeconds = 0;
};

// Runs a command (searched on PATH) and waits for it. With cLocale, it runs under LC_ALL=C.
// Throws when it cannot start or exits non-zero.
CommandRun RunCommand(const std::vector<std::string>& argv, bool cLocale = false);

// True when the command starts and its standard output holds the text.
bool CommandOutputHas(const std::vector<std::string>& argv, const std::string& text);

} // namespace bench
