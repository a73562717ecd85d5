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
    if (m_read <= m_taken) {
        // Woken when the file after this one is read too, so that the next file is there; a
        // thread asleep for want of files is woken at once.
        m_walkWaitsFor = std::min(m_taken + 2, m_queued);
        m_walkSleeps = true;
        if (m_threadSleeps) {
            m_threadSleeps = false;
            m_threadWakes.notify_one();
        }
        m_walkWakes.wait(lock, [&] { return m_read >= m_walkWaitsFor; });
        m_walkSleeps = false;
    }
    lock.unlock();
    return m_files[m_taken++ % kDepth];
}

void Prefetcher::Loop()
{
    unsigned done = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (done == m_queued && !m_stop) {
                // Out of files: woken when a batch is queued, or when the walk waits.
                m_threadWaitsFor = done + kBatch;
                m_threadSleeps = true;
                m_threadWakes.wait(lock, [&] { return m_stop || !m_threadSleeps; });
                m_threadSleeps = false;
            }
            if (m_stop) {
                return;
            }
            if (done == m_queued) {
                continue;
            }
        }
        Read(m_files[done % kDepth]);
        ++done;
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            m_read = done;
            wake = m_walkSleeps && m_read >= m_walkWaitsFor;
        }
        if (wake) {
            m_walkWakes.notify_one();
        }
    }
}

void Prefetcher::Read(PrefetchedFile& ahead)
{
    ahead.block = nullptr;
    ahead.whole = false;
    const std::lock_guard lock(m_inputs);
    if (!ahead.file.Open(ahead.path)) {
        return; // the walk opens it itself, and says why it could not
    }
    if (ahead.file.SizeAtOpen() <= kLargest) {
        try {
            BlockSource source(ahead.file, m_prefilters, EncodingRule::Detect, ahead.slots);
            ahead.block = source.Next();
            ahead.whole = !source.Failed() && (ahead.block == nullptr || ahead.block->last);
        } catch (const std::bad_alloc&) {
            ahead.whole = false;
        }
    }
    ahead.file.Close();
}

} // namespace engine
