#include "machine/io/clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvo::io {
namespace {

TEST(VirtualClockTest, EventsRunInTimeOrderEachAtItsOwnTime) {
    VirtualClock clock;
    std::vector<std::pair<int, Nanoseconds>> ran;
    clock.schedule_at(300, [&] { ran.emplace_back(3, clock.now()); });
    clock.schedule_at(100, [&] {
        ran.emplace_back(1, clock.now());
        // scheduled from inside the span: still runs within this advance, in order
        clock.schedule_at(200, [&] { ran.emplace_back(2, clock.now()); });
    });
    clock.schedule_at(100, [&] { ran.emplace_back(11, clock.now()); });
    clock.advance(1000);
    EXPECT_EQ(ran, (std::vector<std::pair<int, Nanoseconds>>{{1, 100}, {11, 100}, {2, 200}, {3, 300}}));
    EXPECT_EQ(clock.now(), 1000u);
}

TEST(VirtualClockTest, CancelledEventsNeverRunAndPendingTellsSo) {
    VirtualClock clock;
    bool ran = false;
    const auto id = clock.schedule_in(50, [&] { ran = true; });
    EXPECT_TRUE(clock.pending(id));
    clock.cancel(id);
    EXPECT_FALSE(clock.pending(id));
    clock.advance(100);
    EXPECT_FALSE(ran);
    EXPECT_EQ(clock.next_event_time(), UINT64_MAX);
    clock.cancel(id); // again: harmless
}

TEST(VirtualClockTest, EventsBeyondTheSpanWait) {
    VirtualClock clock;
    int runs = 0;
    clock.schedule_in(kSecond, [&] { ++runs; });
    clock.advance(kSecond - 1);
    EXPECT_EQ(runs, 0);
    clock.advance_to(kSecond);
    EXPECT_EQ(runs, 1);
}

} // namespace
} // namespace orvo::io
