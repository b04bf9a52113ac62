// The line's schedule on a virtual time line: ten bit times a byte, bytes one after another, and
// never before they were handed to the line.

#include "sim/wire_clock.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::nanoseconds;
using Time = sim::WireClock::Clock::time_point;

const Time t0 = Time() + std::chrono::hours(1);

TEST(WireClock, BytesFollowOneAnotherAtTheirRate) {
    const nanoseconds byte1200(8'333'333); // 10 bits at 1200 baud
    sim::WireClock line(1200);
    EXPECT_TRUE(line.Paced());
    EXPECT_EQ(line.ByteTime(), byte1200);
    // A request of 8 bytes, then a byte handed over before they are through: it waits its turn.
    EXPECT_EQ(line.Advance(t0, 8), t0 + 8 * byte1200);
    EXPECT_EQ(line.Advance(t0 + byte1200, 1), t0 + 9 * byte1200);
    // After an idle moment the line starts when the byte comes, not where it left off.
    const Time later = t0 + 100 * byte1200;
    EXPECT_EQ(line.Advance(later, 2), later + 2 * byte1200);
    // About two milliseconds of bytes at a time, at least one.
    EXPECT_EQ(line.BurstBytes(), 1u);
    EXPECT_EQ(sim::WireClock(115200).BurstBytes(), 23u);

    sim::WireClock unpaced(0);
    EXPECT_FALSE(unpaced.Paced());
    EXPECT_EQ(unpaced.Advance(t0, 500), t0);
    EXPECT_EQ(unpaced.BurstBytes(), 4096u);
}

} // namespace
