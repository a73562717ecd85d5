// The hand-off between the walk and the read-ahead thread: every slot offered is taken once, in
// the order offered, with what its worker wrote, whichever thread did the work and however the
// two threads meet; a closed hand-off gives what was finished and then nothing.

#include "engine/HandOff.h"

#include <gtest/gtest.h>

#include <array>
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

} // namespace
