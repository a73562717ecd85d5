#pragma once

#include "engine/BlockSource.h"
#include "platform/NativePath.h"
#include "platform/TextFile.h"

#include <condition_variable>
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
class Prefetcher {
public:
    // Files that one block holds whole: only these are read ahead.
    static constexpr std::uint64_t kLargest = BlockSource::kBlockSize;

    explicit Prefetcher(const Prefilter (&prefilters)[2]);
    ~Prefetcher();
    Prefetcher(const Prefetcher&) = delete;
    Prefetcher& operator=(const Prefetcher&) = delete;

    // False when there is no second thread: the walk reads every file itself.
    bool Running() const { return m_thread.joinable(); }
    // Room for another file ahead of the walk, the one it holds kept.
    bool HasRoom() const { return m_added - m_taken + 1 < kDepth; }
    // Queues the next file of the walk.
    void Add(const platform::NativePath& path);
    // The oldest file added and not yet taken, once it is read; valid until the next call. Files
    // that the thread has not begun are read here meanwhile.
    PrefetchedFile& Take();
    // Taken while an input is open.
    std::mutex& Inputs() { return m_inputs; }

private:
    static constexpr unsigned kDepth = 16;
    static constexpr unsigned kBatch = 8; // files queued before the sleeping thread is woken

    void Loop();
    void Read(PrefetchedFile& file);
    // Reads the next file that nobody has begun; false when there is none. Called with m_mutex
    // held, which it gives up while reading.
    bool ReadNextUnclaimed(std::unique_lock<std::mutex>& lock);

    const Prefilter (&m_prefilters)[2];
    PrefetchedFile m_files[kDepth];
    std::mutex m_inputs;

    // The walk's own counts.
    unsigned m_added = 0;
    unsigned m_taken = 0;
    // Shared under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_walkWakes;
    std::condition_variable m_threadWakes;
    unsigned m_queued = 0; // files added, as the thread sees them
    unsigned m_claimed = 0; // files that either side has begun to read
    bool m_done[kDepth] = {}; // by ring slot: read, for the files below m_claimed
    unsigned m_read = 0; // files read, the first m_read of them all
    unsigned m_walkWaitsFor = 0; // while the walk sleeps: wake it when m_read reaches this
    bool m_walkSleeps = false;
    unsigned m_threadWaitsFor = 0; // while the thread sleeps: wake it when m_queued reaches this
    bool m_threadSleeps = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace engine
