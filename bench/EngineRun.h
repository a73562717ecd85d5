#pragma once

#include <string>

namespace bench {

struct EngineRun {
    double seconds = 0; // LoadDefinition and ReplaceFolder together, wall clock
    double cpuSeconds = 0; // the same span, user and system time of this process
    double systemSeconds = 0; // the system part of it: time in the kernel
    double loadSeconds = 0; // LoadDefinition alone, wall clock
};

// Removes a tree if it is there; never follows links out of it.
void RemoveTree(const std::string& path);

// One run of the real engine in this process: the definition loaded, then the ORG folder
// (subfolders included) walked into outputParent, which is emptied first (untimed). Throws when
// the definition does not load or a file could not be handled whole. Paths in UTF-8.
EngineRun RunEngine(
    const std::string& orgFolder, const std::string& definition, const std::string& outputParent);

} // namespace bench
