// Command transactions against a scripted device, on a virtual clock.

#include "fake_serial_device.h"
#include "protocol/deadline.h"
#include "protocol/unit_link.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Wire = std::vector<uint8_t>;

struct Transaction : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    CUnitLink link{0, 38400, 60, 0};
    std::vector<Wire> frames; // every frame the host wrote
    std::vector<int> frameTimes;

    // Answers each new request with reply(payload) after delayMs; repeats get nothing.
    void AnswerWith(std::function<std::string(const Wire& request)> reply, int delayMs = 5) {
        fake.line->onFrame = [this, reply, delayMs](const Wire& frame) {
            frames.push_back(frame);
            frameTimes.push_back(NowMs());
            if (frames.size() > 1 && frames[frames.size() - 2] == frame) {
                return;
            }
            std::string text = reply(frame);
            if (!text.empty()) {
                fake.line->Deliver(DeviceReply(frame[2], text), NowMs() + delayMs);
            }
        };
    }
    void Silent() {
        AnswerWith([](const Wire&) { return std::string(); });
    }
};

TEST_F(Transaction, ReplyCodes) {
    const std::pair<const char*, int> cases[] = {
        {":DOK", 0},
        {":DERR0000002A", 42},
        {":DERRFFFFFFFE", -2},
        {":DERR0000001f", 31},
        {":DERR0000002", -1},
        {":DERR00000G2A", -1},
        {":DNAK", -1},
        {":DOKAY", 0},
        // Last: a reply to another command is not taken, and stays to stop further reading.
        {":EOK", -1},
    };
    for (const auto& [reply, code] : cases) {
        std::string text = reply;
        AnswerWith([text](const Wire&) { return text; });
        EXPECT_EQ(link.Execute("!D", 200), code) << reply;
    }
}

TEST_F(Transaction, NoReplyRetransmitsEveryHalfSecondUntilTheTimeOut) {
    Silent();
    int start = NowMs();
    EXPECT_EQ(link.Execute("!E", 30000), -1);
    EXPECT_EQ(NowMs() - start, 30000);
    // The first copy at 0 ms, then one every 500 ms; the poll at 30000 ms still sends one
    // before the time-out is noticed.
    ASSERT_EQ(frames.size(), 61u);
    for (size_t i = 1; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], frames[0]) << i;
        EXPECT_EQ(frameTimes[i] - frameTimes[i - 1], 500) << i;
    }

    frames.clear();
    EXPECT_EQ(link.Execute("!D", 200), -1);
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][2], 0xC2); // a new transaction, a new sequence byte
}

TEST_F(Transaction, AnOversizedCommandFailsAtOnceAndLeavesAnEmptyPayload) {
    AnswerWith([](const Wire&) { return std::string(":DOK"); });
    Wire big(251, 0x55);
    link.AppendPayload(big.data(), 251);
    EXPECT_EQ(link.m_txLength, 254);
    Wire more(10, 0x66);
    link.AppendPayload(more.data(), 10); // does not fit: dropped
    EXPECT_EQ(link.m_txLength, 254);
    int start = NowMs();
    EXPECT_EQ(link.Execute("!W", 1000), -1);
    EXPECT_EQ(NowMs(), start);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(link.Execute("!D", 200), 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 10u); // "!D" alone
}

// A frame's bytes share one time limit from the frame's start: a line that takes its bytes
// slowly, or not at all, costs 2 s per frame, not 2 s per byte, and the command fails at once.
TEST_F(Transaction, AFrameThatCannotBeWrittenInTimeFailsAfterOneLimit) {
    const struct {
        int msPerByte, result, elapsedMs;
        size_t bytesSent;
    } cases[] = {
        {0, 0, 5, 10},        // "!D": 10 bytes on the wire, answered 5 ms later
        {15, 0, 155, 10},     // slow but within the limit
        {300, -1, 2000, 6},   // the seventh byte would end after the limit
        {60000, -1, 2000, 0}, // stuck
    };
    AnswerWith([](const Wire&) { return std::string(":DOK"); });
    for (const auto& c : cases) {
        fake.line->writeDelayMs = c.msPerByte;
        fake.line->written.clear();
        const int start = NowMs();
        EXPECT_EQ(link.Execute("!D", 200), c.result) << c.msPerByte;
        EXPECT_EQ(NowMs() - start, c.elapsedMs) << c.msPerByte;
        EXPECT_EQ(fake.line->written.size(), c.bytesSent) << c.msPerByte;
        // Told apart from a command the device left unanswered.
        EXPECT_EQ(link.FrameNotSent(), c.result != 0) << c.msPerByte;
    }
    // The next frame is not held back by the one that failed.
    fake.line->writeDelayMs = 0;
    fake.line->written.clear();
    link.Execute("!D", 200);
    EXPECT_FALSE(link.FrameNotSent());
    EXPECT_EQ(PayloadOf(fake.line->written), Bytes("!D"));
}

TEST_F(Transaction, CommandsWithoutAMarkTakeTheFirstReply) {
    AnswerWith([](const Wire&) { return std::string("anything"); });
    EXPECT_EQ(link.SendCommandText("PING", 200), 0);
    EXPECT_EQ(Wire(link.m_rx, link.m_rx + link.m_rxLength), Bytes("anything"));
}

TEST(Deadline, ComparesAcrossTheWrapOfTheCount) {
    CVirtualClock clock(0x7FFFFF00);
    InstallClock(&clock);
    int deadline = 0;
    SetDeadline(&deadline, 0x200); // lies beyond the wrap
    clock.Advance(0x1FF);
    EXPECT_FALSE(DeadlineExpired(&deadline));
    clock.Advance(1);
    EXPECT_TRUE(DeadlineExpired(&deadline));
    InstallClock(nullptr);
}

// A device that carries out one command at a time and takes longer over each than the probe
// waits falls further behind with every probe: the reply to one probe comes while a later one
// waits (the sequence rule skips it), or before a later one is sent (the drain sees it), long
// after the probe it answers. Every one of them is counted, whichever probe is waiting then, also
// when it is an error; a reply to another command is not. None is taken for the reply to a later
// probe.
TEST_F(Transaction, EveryReplyOfADeviceThatFallsBehindIsCountedAsLateAndNoneIsTaken) {
    const struct {
        int busyMs; // per command, one after the other
        int gapMs;  // between the probes
        int probes;
        const char* reply;
    } cases[] = {{310, 0, 8, ":DOK"},
                 {450, 0, 6, ":DERR00000001"},
                 {330, 100, 5, ":DOK"},
                 // Two replies still on their way when a probe is sent after a pause.
                 {700, 300, 6, ":DOK"},
                 {310, 0, 8, ":EOK"},
                 {330, 100, 5, ":EOK"}};
    for (const auto& c : cases) {
        CUnitLink fresh(0, 38400, 60, 0);
        bool listening = true;
        int freeAtMs = NowMs();
        int replies = 0;
        fake.line->onFrame = [&](const Wire& frame) {
            if (listening) {
                freeAtMs = std::max(freeAtMs, NowMs()) + c.busyMs;
                fake.line->Deliver(DeviceReply(frame[2], c.reply), freeAtMs);
                ++replies;
            }
        };
        for (int i = 0; i < c.probes; ++i) {
            EXPECT_EQ(fresh.Execute("!D", 200), -1) << c.busyMs << " probe " << i;
            time.clock.Advance(c.gapMs);
        }
        // The device stops; the replies still on their way reach the host and are read while
        // one more probe waits in vain.
        listening = false;
        time.clock.Advance(freeAtMs - NowMs());
        EXPECT_EQ(fresh.Execute("!D", 200), -1) << c.busyMs;
        EXPECT_TRUE(fake.line->input.empty()) << c.busyMs;
        EXPECT_EQ(replies, c.probes);
        EXPECT_EQ(fresh.LateReplies(), c.reply[1] == 'D' ? c.probes : 0)
            << c.reply << " after " << c.busyMs << " ms, gap " << c.gapMs;
    }
}

} // namespace
