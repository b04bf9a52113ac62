// A port whose device goes away: the transaction in flight ends at once, the loss is told once,
// and Retry opens the port again; over the recording device, on a virtual clock.
// The end-to-end CliLosesItsPort loses a real pseudo-terminal.

#include "fake_serial_device.h"
#include "message_box_script.h"
#include "platform/com_map.h"
#include "protocol/unit_link.h"
#include "serial/port_status.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

struct LostPort : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    MessageBoxScript boxes;
    CUnitLink link{0, 38400, 60, 0};

    void SetUp() override {
        ASSERT_TRUE(link.IsConnected());
        AnswerAllRequests(*fake.line);
    }
    // Erases one cluster, as the worker does, and says how long it took.
    int Erase(int* result) {
        const int start = NowMs();
        uint8_t cluster = 3;
        link.AppendPayload(&cluster, 1);
        *result = link.Execute("!E", 30000);
        return NowMs() - start;
    }
};

// Gone while the frame goes out or while its reply is awaited: either way the transaction ends
// when the system says so, not at its 30 s time-out, and the pending parameters go with it.
TEST_F(LostPort, TheTransactionInFlightEndsAtOnce) {
    for (int goneAfterMs : {0, 700}) {
        fake.line->onFrame = nullptr; // the erase never ends
        fake.line->goneAtMs = NowMs() + goneAfterMs;
        int result = 0;
        EXPECT_EQ(Erase(&result), goneAfterMs);
        EXPECT_EQ(result, kReplyPortLost);
        EXPECT_TRUE(link.IsPortLost());
        std::string reason;
        ASSERT_TRUE(PortLost(0, &reason));
        EXPECT_EQ(reason, "read: Input/output error");

        // Retry: the adapter is back, the port opens again, the next command goes out alone.
        boxes.answers.push_back(kIdRetry);
        AnswerAllRequests(*fake.line);
        fake.line->written.clear();
        EXPECT_EQ(link.Execute("!D", 200), 0);
        EXPECT_EQ(PayloadOf(fake.line->written), Bytes("!D"));
        EXPECT_FALSE(link.IsPortLost());
        EXPECT_FALSE(PortLost(0, nullptr));
    }
    EXPECT_EQ(boxes.shown, (Strings{PortBox("COM1"), PortBox("COM1")}));
}

// The loss is told once: Cancel leaves the link lost, and every later transaction fails at once
// without a word and without touching the device, whose error was taken once, where it happened.
TEST_F(LostPort, CancelKeepsItLostAndNothingIsAskedOrReadAgain) {
    fake.line->goneAtMs = NowMs();
    int result = 0;
    Erase(&result);
    ASSERT_EQ(result, kReplyPortLost);
    const int reads = fake.line->readsFromDevice;
    const int writes = fake.line->writesToDevice;
    for (int i = 0; i < 3; ++i) {
        link.SetPortParameters(57600, 8, 'n', 1);
        EXPECT_EQ(Erase(&result), 0);
        EXPECT_EQ(result, kReplyPortLost);
    }
    EXPECT_EQ(boxes.shown, (Strings{PortBox("COM1")})); // no settings "Error" box either
    EXPECT_EQ(fake.line->readsFromDevice, reads);
    EXPECT_EQ(fake.line->writesToDevice, writes);
    EXPECT_EQ(fake.line->errorTextsMade, 1);
    EXPECT_TRUE(link.IsPortLost());
    std::string reason;
    EXPECT_TRUE(PortLost(0, &reason));
    EXPECT_EQ(reason, "read: Input/output error");
}

// Retry opens the port with the rate last asked for; while the adapter is still missing the open
// asks again, as the first open does.
TEST_F(LostPort, RetryWaitsForTheAdapter) {
    fake.line->goneAtMs = NowMs();
    EXPECT_EQ(link.Execute("!D", 200), kReplyPortLost);
    link.SetPortParameters(57600, 8, 'n', 1);
    fake.line->failOpens = 2; // still unplugged at the first two attempts
    boxes.answers = {kIdRetry, kIdRetry, kIdRetry};
    fake.line->calls.clear();
    EXPECT_EQ(link.Execute("!D", 200), 0);
    EXPECT_EQ(boxes.shown, (Strings(3, PortBox("COM1"))));
    EXPECT_EQ(fake.line->calls[0], "restore latency");
    EXPECT_EQ(fake.line->calls[2], "close");
    EXPECT_EQ(
        std::count(fake.line->calls.begin(), fake.line->calls.end(), "open " + ComDevicePath(0)),
        3);
    EXPECT_EQ(fake.line->settings.baudRate, 57600);
}

} // namespace
