#pragma once

#include "engine/BlockSource.h"
#include "platform/NativePath.h"
#include "platform/TextFile.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace engine {

// A small file as the read-ahead thread left it: read whole and scanned as one block. It stays
// open until the walk has created its copy or knows it needs none, as a file the walk reads
// itself does; the walk closes it.
struct AheadFile {
    platform::NativePath path;
    platform::InputFile file;
    BlockSlots slots;
    const ScannedBlock* block = nullptr; // the whole file; null when it is empty
    bool whole = false; // read to its end without an error or a change

    // What was read is what the walk would read now: the name still names that file, and nothing
    // was done to it since (a change of its permissions included).
    bool Usable() const { return whole && file.UntouchedSinceOpen(); }
};

// Reads and scans the next small file of a folder on a thread of its own while the walk's thread
// rewrites and writes the one before: the two halves of a tree of small files overlap on two
// cores. It reads a file only when asked; the walk closes the file in hand and then asks for the
// next one once the copy is under way, so one input and one output are open at most. Nothing it reads is used unless the walk, on reaching the file,
// finds it untouched; a file too large to be one block is left to the walk.
class ReadAhead {
public:
    explicit ReadAhead(const Prefilter (&prefilters)[2]);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // False when there is no second thread: the walk reads for itself.
    bool Start(const platform::NativePath& path);
    // The file last started, once read; valid until the next but one Start.
    AheadFile& Take();
    // Closes the file taken.
    void Close(AheadFile& ahead);
    // Opens and closes of either thread are made one at a time: the system-call table that tests
    // swap sees them in one order, as it did with one thread.
    std::mutex& Handles() { return m_handles; }

private:
    void Loop();
    void Read(AheadFile& ahead);

    const Prefilter (&m_prefilters)[2];
    AheadFile m_files[2]; // the one the walk holds, and the one being read
    std::mutex m_handles;
    std::atomic<unsigned> m_started { 0 }; // files asked for, written by the walk's thread
    std::atomic<unsigned> m_finished { 0 }; // files read, written by the reading thread
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

} // namespace engine
