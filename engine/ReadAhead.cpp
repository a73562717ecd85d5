#include "engine/ReadAhead.h"

#include <chrono>
#include <new>
#include <system_error>

namespace engine {
namespace {

// Waits for the counter to leave `seen`. A file of a few KB takes microseconds on either thread:
// spinning that long saves most waits the cost of being put to sleep and woken, which on a
// virtual machine is far more.
unsigned WaitPast(const std::atomic<unsigned>& counter, unsigned seen)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::microseconds(100);
    for (;;) {
        for (int spin = 0; spin < 64; ++spin) {
            const unsigned now = counter.load(std::memory_order_acquire);
            if (now != seen) {
                return now;
            }
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        if (Clock::now() > until) {
            break;
        }
    }
    counter.wait(seen, std::memory_order_acquire);
    return counter.load(std::memory_order_acquire);
}

} // namespace

ReadAhead::ReadAhead(const Prefilter (&prefilters)[2])
    : m_prefilters(prefilters)
{
    if (std::thread::hardware_concurrency() > 1) {
        try {
            m_thread = std::thread([this] { Loop(); });
        } catch (const std::system_error&) {
            // No thread to be had: the walk reads for itself.
        }
    }
}

ReadAhead::~ReadAhead()
{
    if (m_thread.joinable()) {
        // Every file asked for was taken; the thread waits for the next request.
        m_stop.store(true, std::memory_order_release);
        m_started.fetch_add(1, std::memory_order_release);
        m_started.notify_one();
        m_thread.join();
    }
}

bool ReadAhead::Start(const platform::NativePath& path)
{
    if (!m_thread.joinable()) {
        return false;
    }
    const unsigned started = m_started.load(std::memory_order_relaxed);
    m_files[started % 2].path = path;
    // Release: the thread sees the path, and the walk is done with the file read two Starts ago.
    m_started.store(started + 1, std::memory_order_release);
    m_started.notify_one();
    return true;
}

AheadFile& ReadAhead::Take()
{
    const unsigned started = m_started.load(std::memory_order_relaxed);
    unsigned finished = m_finished.load(std::memory_order_acquire);
    while (finished != started) {
        finished = WaitPast(m_finished, finished);
    }
    return m_files[(started - 1) % 2];
}

void ReadAhead::Loop()
{
    unsigned done = 0;
    for (;;) {
        unsigned started = m_started.load(std::memory_order_acquire);
        while (started == done) {
            started = WaitPast(m_started, started);
        }
        if (m_stop.load(std::memory_order_acquire)) {
            return;
        }
        Read(m_files[done % 2]);
        ++done;
        m_finished.store(done, std::memory_order_release);
        m_finished.notify_one();
    }
}

void ReadAhead::Read(AheadFile& ahead)
{
    ahead.block = nullptr;
    ahead.whole = false;
    {
        const std::lock_guard lock(m_handles);
        if (!ahead.file.Open(ahead.path)) {
            return; // the walk opens it itself, and says why it could not
        }
    }
    // Only a file that one block holds whole: it needs its input no more once read.
    if (ahead.file.SizeAtOpen() < BlockSource::kBlockSize) {
        try {
            BlockSource source(ahead.file, m_prefilters, EncodingRule::Detect, ahead.slots);
            ahead.block = source.Next();
            ahead.whole = !source.Failed() && (ahead.block == nullptr || ahead.block->last)
                && !ahead.file.ChangedSinceOpen();
        } catch (const std::bad_alloc&) {
            ahead.whole = false;
        }
    }
}

void ReadAhead::Close(AheadFile& ahead)
{
    const std::lock_guard lock(m_handles);
    ahead.file.Close();
}

} // namespace engine
