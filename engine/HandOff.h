#pragma once

#include "engine/Expects.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace engine {

// The one way work passes between the walk's thread and the read-ahead thread: a ring of slots,
// each offered by the walk (there is work for it), claimed by whichever thread then does the
// work, finished, and taken back by the walk in the order offered. Slots are named by sequence
// numbers; the caller keeps the slots' contents in a ring of its own, at sequence % slots.
//
// Whoever waits for the other sleeps until a batch is there for it (finished slots for the walk,
// offered ones for the worker): a sleep and a wake cost more than a small piece of work.
//
// Who owns what: a slot's contents belong to the thread that claimed it from Claim until Finish,
// then to the walk from Take until its next Take; nobody touches them between Offer and Claim or
// between Finish and Take. The counts below are guarded by m_mutex; offered and taken are
// written by the walk alone, which may read them without the lock.
class HandOff {
public:
    struct Batches {
        unsigned ready = 1; // finished slots ahead of the walk that wake it
        unsigned work = 1; // offered slots ahead of the worker that wake it
    };
    // slots: a power of two.
    HandOff(unsigned slots, Batches batches);

    // The walk. Offer: the next slot has work; only while there is room (the slot last taken is
    // still the walk's).
    bool HasRoom() const { return m_offered - m_taken + 1 < m_slots; }
    // The sequence of the slot that the next Offer offers.
    unsigned Offered() const { return m_offered; }
    unsigned Offer();
    // The oldest slot offered and not taken, once it is finished; the slot taken before it is
    // free again. Empty once the worker closed the hand-off and every slot finished is taken.
    // With doWork, a walk that would wait does the work of offered slots that nobody has claimed
    // instead, but leaves the one it waits for to an awake worker, which is about to claim it.
    std::optional<unsigned> Take(const std::function<void(unsigned)>& doWork = {});
    // The worker stops for good: Claim gives nothing more.
    void Stop();

    // The worker. The next slot offered and not claimed, waiting for one; empty once stopped.
    std::optional<unsigned> Claim();
    void Finish(unsigned sequence);
    // The input ended: no slot is finished from now on, and the walk, once it took those that
    // are, gets nothing.
    void Close();

private:
    void FinishLocked(unsigned sequence);

    const unsigned m_slots;
    const Batches m_batches;
    unsigned m_offered = 0; // the walk's
    unsigned m_taken = 0; // the walk's

    std::mutex m_mutex;
    std::condition_variable m_walkWakes;
    std::condition_variable m_workerWakes;
    unsigned m_claimed = 0; // slots below it have been claimed
    unsigned m_ready = 0; // slots below it are finished
    std::vector<bool> m_finished; // by ring position, for slots in [m_ready, m_claimed)
    unsigned m_walkNeeds = 0; // while the walk sleeps: woken when this many are ready for it
    bool m_walkSleeps = false;
    unsigned m_workerNeeds = 0; // while the worker sleeps: woken when this many are offered
    bool m_workerSleeps = false;
    bool m_closed = false;
    bool m_stopped = false;
};

} // namespace engine
