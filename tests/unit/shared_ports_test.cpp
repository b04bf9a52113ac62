// Shared ports and their clients, over the recording device; shared_ports_pty_test.cpp has the
// cases a real pseudo-terminal shows.

#include "fake_serial_device.h"
#include "platform/com_map.h"
#include "platform/message_box.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// Collects the boxes shown as "type caption: text" and answers them from a script (Cancel when it
// runs out).
struct MessageBoxScript {
    Strings shown;
    std::vector<int> answers;
    MessageBoxScript() {
        SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, unsigned type) {
                shown.push_back(std::to_string(type) + " " + caption + ": " + text);
                return shown.size() <= answers.size() ? answers[shown.size() - 1] : kIdCancel;
            });
    }
    ~MessageBoxScript() { SetMessageBoxHook(nullptr); }
};

std::string PortBox(const char* name) {
    return std::to_string(kMbRetryCancel) + " " + ApplicationName() + ": Schnittstelle \"" + name +
           "\" von Windos belegt oder nicht vorhanden!";
}

TEST(PortMessages, PortsFromCom9OnAreNeverTriedAndNamedInTheMessage) {
    FakeDeviceScope fake;
    MessageBoxScript boxes;
    boxes.answers = {kIdRetry, kIdCancel};
    CPortClient com9(8, 38400, 8, 'n', 1, 1);
    EXPECT_FALSE(com9.IsAttached());
    EXPECT_TRUE(fake.line->calls.empty());
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
}

TEST(PortLifecycle, OpenSetsUpPurgesAndConfiguresAndClosePurgesFirst) {
    FakeDeviceScope fake;
    auto client = std::make_unique<CPortClient>(0, 38400, 8, 'n', 1, 1);
    client->Transfer(0x42);
    client.reset();
    EXPECT_EQ(fake.line->calls, (Strings{"open 0", "queues 4096 4096", "purge", "set", "immediate",
                                         "purge", "close"}));
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
