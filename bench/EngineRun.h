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
// (subfolders included) walked into outputParent, which is emptied first (untimed). With a diff
// file, the run records its edits and writes the diff of every changed file there, as
// vandor --run --diff does, within the time. Throws when the definition does not load, a file
// could not be handled whole, or the diff could not be written whole. Paths in UTF-8.
EngineRun RunEngine(const std::string& orgFolder, const std::string& definition,
    const std::string& outputParent, const std::string& diffFile = {});

} // namespace bench
