// Shared ports and their clients, over the recording device; shared_ports_pty_test.cpp has the
// cases a real pseudo-terminal shows.

#include "fake_serial_device.h"
#include "message_box_script.h"
#include "platform/com_map.h"
#include "platform/message_box.h"
#include "serial/port_status.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

TEST(PortMessages, PortsFromCom9OnAreNeverTriedAndNamedInTheMessage) {
    FakeDeviceScope fake;
    MessageBoxScript boxes;
    boxes.answers = {kIdRetry, kIdCancel};
    CPortClient com9(8, 38400, 8, 'n', 1, 1);
    EXPECT_FALSE(com9.IsAttached());
    EXPECT_TRUE(fake.line->calls.empty());
    CPortOpenFailure failure;
    ASSERT_TRUE(LastPortOpenFailure(8, &failure));
    EXPECT_EQ(failure.kind, CPortOpenFailure::kNotTried);
    EXPECT_EQ(failure.Text(), "cannot open COM9: only COM1 to COM8 can be opened");
    CPortClient none(255, 38400, 8, 'n', 1, 1);
    // Retry showed the first one again; without show-errors nothing is asked.
    CPortClient quiet(9, 38400, 8, 'n', 1, 0);
    EXPECT_EQ(boxes.shown, (Strings{PortBox("COM9"), PortBox("COM9"), PortBox("COM256")}));

    // An unattached client answers without touching anything.
    for (int code : {0, 0x41, 255, -2, -3}) {
        EXPECT_EQ(none.Transfer(code), 0);
    }
    EXPECT_EQ(none.Configure(38400, 8, 'n', 1, 1), -1);
}

TEST(PortMessages, RefusedSettingsShowTheSystemTextThenRetryCancel) {
    FakeDeviceScope fake;
    fake.line->failSetSettings = true;
    MessageBoxScript boxes;
    CPortClient client(0, 38400, 8, 'n', 1, 1);
    EXPECT_FALSE(client.IsAttached());
    EXPECT_EQ(boxes.shown,
              (Strings{std::to_string(kMbOk | kMbIconInformation) + " Error: Invalid argument",
                       PortBox("COM1")}));
    EXPECT_EQ(fake.line->calls.back(), "close");
    EXPECT_EQ(PortRegistry().m_count, 0);
    CPortOpenFailure failure;
    ASSERT_TRUE(LastPortOpenFailure(0, &failure));
    EXPECT_EQ(failure.kind, CPortOpenFailure::kSettingsRefused);
    EXPECT_EQ(failure.reason, "the driver refused the line settings (Invalid argument)");
}

// The front end asks why the last open failed; each attempt (each Retry) replaces the answer and
// an open that succeeds clears it.
TEST(PortMessages, TheLastOpenFailureIsKeptForTheFrontEnd) {
    FakeDeviceScope fake;
    MessageBoxScript boxes;
    fake.line->failOpens = 1;
    boxes.answers = {kIdRetry};
    CPortOpenFailure failure;
    {
        CPortClient client(1, 38400, 8, 'n', 1, 1);
        EXPECT_TRUE(client.IsAttached());
        EXPECT_FALSE(LastPortOpenFailure(1, &failure));
    }
    fake.line->failOpen = true;
    fake.line->failOpens = -1;
    CPortClient client(1, 38400, 8, 'n', 1, 1);
    EXPECT_FALSE(client.IsAttached());
    ASSERT_TRUE(LastPortOpenFailure(1, &failure));
    EXPECT_EQ(failure.Text(), "cannot open /dev/fake: no such device");
    EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST(PortLifecycle, OpenSetsUpPurgesConfiguresAsksForLowLatencyAndCloseUndoesIt) {
    FakeDeviceScope fake;
    auto client = std::make_unique<CPortClient>(0, 38400, 8, 'n', 1, 1);
    client->Transfer(0x42);
    client.reset();
    EXPECT_EQ(fake.line->calls,
              (Strings{"open " + ComDevicePath(0), "queues 4096 4096", "purge", "set", "immediate",
                       "low latency", "restore latency", "purge", "close"}));
}

// The driver's low-latency flag is on while the port is open and back as it was after; a driver
// without it (a pseudo-terminal) changes nothing for the port.
TEST(PortLifecycle, LowLatencyWhileOpenAndAsBeforeAfterwards) {
    const struct {
        bool before, refused, whileOpen;
    } cases[] = {{false, false, true}, {true, false, true}, {false, true, false}};
    for (const auto& c : cases) {
        FakeDeviceScope fake;
        fake.line->lowLatency = c.before;
        fake.line->refuseLowLatency = c.refused;
        {
            CPortClient client(0, 38400, 8, 'n', 1, 1);
            ASSERT_TRUE(client.IsAttached());
            EXPECT_EQ(fake.line->lowLatency, c.whileOpen);
            EXPECT_EQ(client.Transfer('x'), 'x');
            EXPECT_EQ(fake.line->written, (std::vector<uint8_t>{'x'}));
        }
        EXPECT_EQ(fake.line->lowLatency, c.before) << c.before << c.refused;
    }
}

// The advice on an adapter's latency timer is handed to the front end once, however often the
// port opens.
TEST(PortLifecycle, TheLatencyNoticeIsGivenOnce) {
    FakeDeviceScope fake;
    fake.line->latencyAdvice = "lower the timer of the adapter on COM7";
    TakePortNotices(); // whatever earlier tests left
    for (int run = 0; run < 2; ++run) {
        CPortClient client(6, 38400, 8, 'n', 1, 1);
        ASSERT_TRUE(client.IsAttached());
    }
    EXPECT_EQ(TakePortNotices(), (Strings{"lower the timer of the adapter on COM7"}));
    CPortClient again(6, 38400, 8, 'n', 1, 1);
    EXPECT_TRUE(TakePortNotices().empty());
}

TEST(PortLifecycle, AFullRingKeepsTheNewest255AndPollsWithBytesWaitingLeaveTheDevice) {
    FakeDeviceScope fake;
    CPortClient writer(0, 38400, 8, 'n', 1, 1);
    CPortClient reader(0, 38400, 8, 'n', 1, 1);
    std::vector<int> sent, got;
    for (int i = 0; i < 300; ++i) {
        writer.Transfer(i & 0xFF);
        sent.push_back(i & 0xFF);
    }
    const int reads = fake.line->readsFromDevice;
    while (!reader.RingEmpty()) {
        ASSERT_EQ(reader.Transfer(-2), 1);
        got.push_back(reader.Transfer(-3)); // returns at once from the ring
    }
    EXPECT_EQ(got, std::vector<int>(sent.end() - 255, sent.end()));
    EXPECT_EQ(fake.line->readsFromDevice, reads);
}

TEST(PortLifecycle, ClientsLeftAtRegistryCleanUpAreCutLooseNotDeleted) {
    FakeDeviceScope fake;
    auto client = std::make_unique<CPortClient>(0, 38400, 8, 'n', 1, 1);
    ASSERT_TRUE(client->IsAttached());
    PortRegistry().CloseAll();
    EXPECT_FALSE(client->IsAttached());
    EXPECT_EQ(fake.line->calls.back(), "close");
    client.reset(); // its owner deletes it later without touching the port
    EXPECT_EQ(PortRegistry().m_count, 0);
}

} // namespace
