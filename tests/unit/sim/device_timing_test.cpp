// How long the device takes: erases, reply delays and a paced line. Lower bounds are tight; upper
// bounds only catch gross mistakes, leaving room for a loaded machine.

#include "sim_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace simtest;

long long Ms(Clock::duration d) {
    return std::chrono::duration_cast<milliseconds>(d).count();
}

// How long the reply to `request` took, or -1 when none came.
long long TimeReply(PtyHost& host, const Bytes& request) {
    const auto start = Clock::now();
    if (!host.Write(request) || host.ReadRaw(milliseconds(3000)).empty()) {
        return -1;
    }
    return Ms(Clock::now() - start);
}

TEST(DeviceTiming, EraseTakesTheConfiguredTimeAndOnlyErase) {
    SimOptions options;
    options.eraseMs = 300;
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    const long long erase = TimeReply(*rig.host, Request(1, "!E", {0}));
    EXPECT_GE(erase, 300);
    EXPECT_LT(erase, 2000);
    const long long probe = TimeReply(*rig.host, Request(2, "!D"));
    EXPECT_GE(probe, 0);
    EXPECT_LT(probe, 250);
}

TEST(DeviceTiming, ReplyDelayHoldsBackEveryReply) {
    SimOptions options = QuickOptions();
    options.replyDelayMs = 120;
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    for (int sequence = 1; sequence <= 2; ++sequence) {
        const long long elapsed = TimeReply(*rig.host, Request(sequence, "!D"));
        EXPECT_GE(elapsed, 120) << "reply " << sequence;
        EXPECT_LT(elapsed, 1200) << "reply " << sequence;
    }
}

TEST(DeviceTiming, WireBaudPacesBothDirections) {
    SimOptions options = QuickOptions();
    options.wireBaud = 1200; // 8.33 ms a byte
    Rig rig = StartRig(options);
    ASSERT_TRUE(rig);
    const auto start = Clock::now();
    ASSERT_TRUE(rig.host->Write(Request(1, "!D")));
    Clock::time_point firstByte{};
    const Bytes reply = rig.host->ReadRaw(milliseconds(3000), &firstByte);
    const auto end = Clock::now();
    ASSERT_EQ(reply.size(), 12u);
    // The request is acted on at its carriage return, its 8th byte (67 ms); the reply's first byte
    // needs 8 ms more, and the other 11 trickle in after it (92 ms).
    EXPECT_GE(Ms(firstByte - start), 72);
    EXPECT_GE(Ms(end - firstByte), 85);
    EXPECT_LT(Ms(end - start), 2000);
}

} // namespace
