// The hand-off between the walk and the read-ahead thread: every slot offered is taken once, in
// the order offered, with what its worker wrote, whichever thread did the work and however the
// two threads meet; a closed hand-off gives what was finished and then nothing. And the load's
// two halves at once.

#include "engine/HandOff.h"
#include "engine/BothAtOnce.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <thread>

namespace {

constexpr unsigned kSlots = 8;

TEST(HandOff, EverySlotIsTakenOnceInOrderWithWhatItsWorkerWrote)
{
    struct Case {
        engine::HandOff::Batches batches;
        bool walkWorksToo;
    };
    for (const Case c : { Case { { 1, 1 }, false }, Case { { 4, 4 }, false },
             Case { { 1, 4 }, true }, Case { { 1, 7 }, true } }) {
        SCOPED_TRACE(testing::Message()
            << c.batches.ready << "/" << c.batches.work << " " << c.walkWorksToo);
        engine::HandOff handOff(kSlots, c.batches);
        std::array<unsigned, kSlots> ring {};
        std::array<int, kSlots> doneBy {};
        const auto work = [&](unsigned sequence, int who) {
            ring[sequence % kSlots] = sequence * 3;
            doneBy[sequence % kSlots] = who;
        };
        std::thread worker([&] {
            while (const auto sequence = handOff.Claim()) {
                work(*sequence, 1);
                handOff.Finish(*sequence);
            }
        });
        constexpr unsigned kItems = 20000;
        unsigned offered = 0;
        int byWalk = 0;
        for (unsigned expected = 0; expected < kItems; ++expected) {
            while (offered < kItems && handOff.HasRoom()) {
                EXPECT_EQ(handOff.Offer(), offered++);
            }
            const auto taken = c.walkWorksToo
                ? handOff.Take([&](unsigned sequence) { work(sequence, 2); })
                : handOff.Take();
            ASSERT_TRUE(taken);
            ASSERT_EQ(*taken, expected);
            ASSERT_EQ(ring[expected % kSlots], expected * 3);
            byWalk += doneBy[expected % kSlots] == 2;
        }
        handOff.Stop();
        worker.join();
        if (!c.walkWorksToo) {
            EXPECT_EQ(byWalk, 0);
        }
    }
}

// A reader that offers every slot as it falls free and closes at the end of its input, as the
// blocks of a file are read ahead.
TEST(HandOff, AClosedHandOffGivesWhatWasFinishedThenNothing)
{
    for (const unsigned items : { 0u, 1u, 5u, 1000u }) {
        SCOPED_TRACE(items);
        engine::HandOff handOff(4, { 2, 2 });
        for (unsigned i = 0; i + 1 < 4; ++i) {
            handOff.Offer();
        }
        std::thread reader([&] {
            for (unsigned made = 0;; ++made) {
                const auto sequence = handOff.Claim();
                if (!sequence) {
                    return;
                }
                if (made == items) {
                    handOff.Close();
                    return;
                }
                handOff.Finish(*sequence);
            }
        });
        unsigned taken = 0;
        while (const auto sequence = handOff.Take()) {
            EXPECT_EQ(*sequence, taken++);
            handOff.Offer();
        }
        EXPECT_EQ(taken, items);
        handOff.Stop();
        reader.join();
    }
}

// The load's halves: both are done when BothAtOnce returns, on two threads where worth one, and
// an exception in either is thrown once both are done, never left on a thread still running.
TEST(BothAtOnce, BothAreDoneAndAnExceptionWaitsForTheOther)
{
    struct Case {
        bool worthAThread;
        int throwing; // 0: neither, 1: the first, 2: the second
    };
    for (const Case c : { Case { true, 0 }, Case { false, 0 }, Case { true, 1 }, Case { true, 2 },
             Case { false, 2 } }) {
        SCOPED_TRACE(testing::Message() << c.worthAThread << " " << c.throwing);
        std::thread::id ran[2];
        bool done[2] = { false, false };
        const auto half = [&](int which) {
            ran[which] = std::this_thread::get_id();
            if (c.throwing == which + 1) {
                throw std::runtime_error("half");
            }
            done[which] = true;
        };
        bool thrown = false;
        try {
            engine::BothAtOnce([&] { half(0); }, [&] { half(1); }, c.worthAThread);
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        EXPECT_EQ(thrown, c.throwing != 0);
        EXPECT_EQ(done[0], c.throwing != 1);
        EXPECT_EQ(done[1], c.throwing != 2);
        EXPECT_EQ(ran[0], std::this_thread::get_id());
        EXPECT_EQ(ran[1] != ran[0], c.worthAThread && std::thread::hardware_concurrency() > 1);
    }
}

} // namespace
