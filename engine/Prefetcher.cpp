#include "engine/Prefetcher.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace engine {

Prefetcher::Prefetcher(const Prefilter (&prefilters)[2])
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

Prefetcher::~Prefetcher()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_threadWakes.notify_one();
        m_thread.join();
    }
}

void Prefetcher::Add(const platform::NativePath& path)
{
    m_files[m_added % kDepth].path = path;
    ++m_added;
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_queued = m_added;
        wake = m_threadSleeps && m_queued >= m_threadWaitsFor;
        m_threadSleeps = m_threadSleeps && !wake;
    }
    if (wake) {
        m_threadWakes.notify_one();
    }
}

PrefetchedFile& Prefetcher::Take()
{
    std::unique_lock lock(m_mutex);
    while (m_read <= m_taken) {
        // The next file is left to a thread that is awake and about to begin it; while the thread
        // reads it, or sleeps, the walk reads the next file nobody has begun.
        const bool threadBegins = m_claimed == m_taken && !m_threadSleeps;
        if (!threadBegins && ReadNextUnclaimed(lock)) {
            continue;
        }
        // The next file is being read, or about to be: woken when it is there.
        m_walkWaitsFor = m_taken + 1;
        m_walkSleeps = true;
        m_walkWakes.wait(lock, [&] { return m_read >= m_walkWaitsFor; });
        m_walkSleeps = false;
    }
    lock.unlock();
    return m_files[m_taken++ % kDepth];
}

bool Prefetcher::ReadNextUnclaimed(std::unique_lock<std::mutex>& lock)
{
    if (m_claimed == m_queued) {
        return false;
    }
    const unsigned index = m_claimed++;
    m_done[index % kDepth] = false;
    lock.unlock();
    Read(m_files[index % kDepth]);
    lock.lock();
    m_done[index % kDepth] = true;
    while (m_read < m_claimed && m_done[m_read % kDepth]) {
        ++m_read;
    }
    return true;
}

void Prefetcher::Loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_claimed == m_queued && !m_stop) {
            // Out of files: woken when a batch is queued.
            m_threadWaitsFor = m_claimed + kBatch;
            m_threadSleeps = true;
            m_threadWakes.wait(lock, [&] { return m_stop || !m_threadSleeps; });
            m_threadSleeps = false;
        }
        if (m_stop) {
            return;
        }
        if (ReadNextUnclaimed(lock) && m_walkSleeps && m_read >= m_walkWaitsFor) {
            m_walkWakes.notify_one();
        }
    }
}

void Prefetcher::Read(PrefetchedFile& ahead)
{
    ahead.block = nullptr;
    ahead.whole = false;
    std::unique_lock lock(m_inputs);
    if (!ahead.file.Open(ahead.path)) {
        return; // the walk opens it itself, and says why it could not
    }
    if (ahead.file.SizeAtOpen() > kLargest) {
        ahead.file.Close();
        return;
    }
    try {
        BlockSource source(ahead.file, m_prefilters, EncodingRule::Detect, ahead.slots);
        source.ExamineLater();
        ahead.block = source.Next();
        ahead.whole = !source.Failed() && (ahead.block == nullptr || ahead.block->last);
        ahead.file.Close();
        lock.unlock();
        if (ahead.whole) {
            source.Examine();
        }
    } catch (const std::bad_alloc&) {
        ahead.whole = false;
        ahead.file.Close();
    }
}

} // namespace engine
