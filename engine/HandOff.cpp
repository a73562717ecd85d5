#include "engine/HandOff.h"

#include <algorithm>

namespace engine {

HandOff::HandOff(unsigned slots, Batches batches)
    : m_slots(slots)
    , m_batches(batches)
    , m_finished(slots)
{
    VANDOR_EXPECTS(slots >= 2 && (slots & (slots - 1)) == 0);
    VANDOR_EXPECTS(batches.ready >= 1 && batches.ready < slots);
    VANDOR_EXPECTS(batches.work >= 1 && batches.work < slots);
}

unsigned HandOff::Offer()
{
    VANDOR_EXPECTS(HasRoom());
    bool wake = false;
    unsigned sequence = 0;
    {
        const std::lock_guard lock(m_mutex);
        sequence = m_offered++;
        wake = m_workerSleeps && m_offered - m_claimed >= m_workerNeeds;
        m_workerSleeps = m_workerSleeps && !wake;
    }
    if (wake) {
        m_workerWakes.notify_one();
    }
    return sequence;
}

std::optional<unsigned> HandOff::Take(const std::function<void(unsigned)>& doWork)
{
    std::unique_lock lock(m_mutex);
    VANDOR_EXPECTS(m_taken != m_offered || m_closed);
    while (m_ready == m_taken && !m_closed) {
        const bool workerBegins = m_claimed == m_taken && !m_workerSleeps;
        if (doWork && !workerBegins && m_claimed != m_offered) {
            const unsigned sequence = m_claimed++;
            lock.unlock();
            doWork(sequence);
            lock.lock();
            FinishLocked(sequence);
            continue;
        }
        // Not before a batch is there, or as many as were offered. A walk that waits for work
        // nobody has begun never leaves the worker asleep for want of a batch.
        m_walkNeeds = std::min(m_batches.ready, m_offered - m_taken);
        m_walkSleeps = true;
        if (m_workerSleeps && m_claimed != m_offered) {
            m_workerSleeps = false;
            m_workerWakes.notify_one();
        }
        m_walkWakes.wait(lock, [this] { return !m_walkSleeps; });
    }
    if (m_ready == m_taken) {
        return std::nullopt;
    }
    return m_taken++;
}

void HandOff::Stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_workerSleeps = false;
    }
    m_workerWakes.notify_one();
}

std::optional<unsigned> HandOff::Claim()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopped && m_claimed == m_offered) {
        m_workerNeeds = m_batches.work;
        m_workerSleeps = true;
        m_workerWakes.wait(lock, [this] { return !m_workerSleeps; });
    }
    if (m_stopped) {
        return std::nullopt;
    }
    return m_claimed++;
}

void HandOff::FinishLocked(unsigned sequence)
{
    VANDOR_EXPECTS(sequence - m_ready < m_claimed - m_ready);
    VANDOR_EXPECTS(!m_finished[sequence % m_slots]);
    m_finished[sequence % m_slots] = true;
    while (m_ready != m_claimed && m_finished[m_ready % m_slots]) {
        m_finished[m_ready++ % m_slots] = false;
    }
}

void HandOff::Finish(unsigned sequence)
{
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        FinishLocked(sequence);
        wake = m_walkSleeps && m_ready - m_taken >= m_walkNeeds;
        m_walkSleeps = m_walkSleeps && !wake;
    }
    if (wake) {
        m_walkWakes.notify_one();
    }
}

void HandOff::Close()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_walkSleeps = false;
    }
    m_walkWakes.notify_one();
}

} // namespace engine
