// The adapter's latency timer on a virtual time line: which bytes reach the host together, and
// when.

#include "sim/adapter_latency.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace sim {

// Found by the test's messages through the argument's namespace.
void PrintTo(const AdapterRelease& r, std::ostream* out) {
    *out << r.count << " bytes at "
         << std::chrono::duration_cast<std::chrono::microseconds>(r.when.time_since_epoch()).count()
         << " us";
}

} // namespace sim

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using Time = std::chrono::steady_clock::time_point;

// One byte at 115200 baud, 8N1.
constexpr nanoseconds kByte115200{86805};
const Time t0 = Time() + std::chrono::hours(1);

Time Byte(std::size_t i, nanoseconds byteTime = kByte115200) {
    return t0 + byteTime * static_cast<long long>(i);
}

struct Case {
    const char* name;
    std::size_t count;
    nanoseconds byteTime;
    int latencyMs;
    std::vector<sim::AdapterRelease> releases;
};

TEST(AdapterLatency, BytesGoWhenThePacketFillsOrTheTimerRunsOut) {
    const Case cases[] = {
        // A 12-byte reply (1.04 ms on the line) waits for the timer, whole.
        {"reply, 16 ms", 12, kByte115200, 16, {{t0 + milliseconds(16), 12}}},
        // 1 ms holds 12 byte times (the first byte starts the timer): 30 bytes go as 12, 12, 6.
        {"long reply, 1 ms",
         30,
         kByte115200,
         1,
         {{t0 + milliseconds(1), 12},
          {Byte(12) + milliseconds(1), 12},
          {Byte(24) + milliseconds(1), 6}}},
        // At 16 ms a packet fills (5.4 ms) before the timer runs out; the tail waits for it.
        {"packets, 16 ms",
         200,
         kByte115200,
         16,
         {{Byte(61), 62}, {Byte(123), 62}, {Byte(185), 62}, {Byte(186) + milliseconds(16), 14}}},
        // Exactly two packets: nothing is left to wait for the timer.
        {"two packets", 124, kByte115200, 16, {{Byte(61), 62}, {Byte(123), 62}}},
        // Bytes that came all at once: full packets at once, the rest after the timer.
        {"unpaced", 130, nanoseconds(0), 16, {{t0, 62}, {t0, 62}, {t0 + milliseconds(16), 6}}},
        // No latency: each byte as it comes.
        {"off", 3, kByte115200, 0, {{Byte(0), 1}, {Byte(1), 1}, {Byte(2), 1}}},
        {"nothing", 0, kByte115200, 16, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sim::AdapterReleases(c.count, t0, c.byteTime, milliseconds(c.latencyMs)),
                  c.releases)
            << c.name;
    }
}

} // namespace
