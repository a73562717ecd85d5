#pragma once

#include "engine/BlockSource.h"
#include "platform/NativePath.h"
#include "platform/TextFile.h"

#include "engine/HandOff.h"

#include <cstdint>
#include <mutex>
#include <thread>

namespace engine {

// A small file as the prefetching thread left it: opened, read whole, scanned as one block and
// closed again.
struct PrefetchedFile {
    platform::NativePath path;
    platform::InputFile file; // closed; still knows what the file was at open
    BlockSlots slots;
    const ScannedBlock* block = nullptr; // the whole file; null when it is empty
    bool whole = false; // read to its end as one block, without an error

    // What was read is what the walk would read now: the name still names that file and nothing
    // was done to it since it was opened.
    bool Usable() const { return whole && file.UntouchedSinceOpen(); }
};

// Reads and scans the next small files of a folder on a thread of its own, up to a ring of them
// ahead of the walk, while the walk's thread rewrites and writes: the two halves of a tree of
// small files overlap on two cores. The thread, out of files, sleeps until a batch of them is
// queued: putting a thread to sleep and waking it costs as much as a small file. A walk that
// would wait for its next file while the thread reads it reads and scans the next one that the
// thread has not begun instead, so neither side idles while the other has more to do. Whoever reads
// a file holds the inputs' lock from its open to its close, and so does the walk when it copies a
// file itself: one input at most is open at a time, as with one thread. Scanning comes after the
// close.
//
// Who owns what: a file of the ring belongs to the walk from Add until the hand-off gives it to
// whichever thread reads it, then to the walk again from Take until its next Take. Each thread
// scans with a buffer of its own.
class Prefetcher {
public:
    // Files that one block holds whole: only these are read ahead.
    static constexpr std::uint64_t kLargest = BlockSource::kBlockSize;

    // inputs: held while an input is open, by whoever opens it.
    Prefetcher(const Prefilter (&prefilters)[2], std::mutex& inputs);
    ~Prefetcher();
    Prefetcher(const Prefetcher&) = delete;
    Prefetcher& operator=(const Prefetcher&) = delete;

    // False when there is no second thread: the walk reads every file itself.
    bool Running() const { return m_thread.joinable(); }
    // Room for another file ahead of the walk, the one it holds kept.
    bool HasRoom() const { return m_handOff.HasRoom(); }
    // Queues the next file of the walk; only while running and with room.
    void Add(const platform::NativePath& path);
    // The oldest file added and not yet taken, once it is read; valid until the next call. Files
    // that the thread has not begun are read here meanwhile.
    PrefetchedFile& Take();

private:
    static constexpr unsigned kDepth = 16;
    static constexpr unsigned kBatch = 8; // files queued before the sleeping thread is woken

    void Read(PrefetchedFile& file, Prefilter::ScanBuffer& scan);

    const Prefilter (&m_prefilters)[2];
    std::mutex& m_inputs;
    PrefetchedFile m_files[kDepth]; // at sequence % kDepth
    HandOff m_handOff { kDepth, { 1, kBatch } };
    Prefilter::ScanBuffer m_walkScan;
    Prefilter::ScanBuffer m_threadScan;
    std::thread m_thread;
};

} // namespace engine
