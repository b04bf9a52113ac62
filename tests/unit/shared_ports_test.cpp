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

using Wire = std::vector<uint8_t>;

// Collects the boxes shown and answers them from a script (Cancel when it runs out).
struct MessageBoxScript {
    std::vector<std::string> texts, captions;
    std::vector<unsigned> types;
    std::vector<int> answers;
    MessageBoxScript() {
        SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, unsigned type) {
                texts.push_back(text);
                captions.push_back(caption);
                types.push_back(type);
                if (answers.empty()) {
                    return kIdCancel;
                }
                int answer = answers.front();
                answers.erase(answers.begin());
                return answer;
            });
    }
    ~MessageBoxScript() { SetMessageBoxHook(nullptr); }
};

TEST(PortMessages, PortsFromCom9OnAreNeverTriedAndNamedInTheMessage) {
    FakeDeviceScope fake;
    MessageBoxScript boxes;
    boxes.answers = {kIdRetry, kIdCancel};
    CPortClient com9(8, 38400, 8, 'n', 1, 1);
    EXPECT_FALSE(com9.IsAttached());
    ASSERT_EQ(boxes.texts.size(), 2u); // Retry showed it again
    EXPECT_EQ(boxes.texts[0], "Schnittstelle \"COM9\" von Windos belegt oder nicht vorhanden!");
    EXPECT_EQ(boxes.texts[1], boxes.texts[0]);
    EXPECT_EQ(boxes.types[0], kMbRetryCancel);
    EXPECT_TRUE(fake.line->calls.empty());

    CPortClient none(255, 38400, 8, 'n', 1, 1);
    EXPECT_EQ(boxes.texts.back(),
              "Schnittstelle \"COM256\" von Windos belegt oder nicht vorhanden!");

    // An unattached client answers without touching anything.
    for (int code : {0, 0x41, 255, -2, -3}) {
        EXPECT_EQ(none.Transfer(code), 0);
    }
    EXPECT_EQ(none.Configure(38400, 8, 'n', 1, 1), -1);

    // Without show-errors nothing is asked.
    size_t shown = boxes.texts.size();
    CPortClient quiet(9, 38400, 8, 'n', 1, 0);
    EXPECT_EQ(boxes.texts.size(), shown);
}

TEST(PortMessages, RefusedSettingsShowTheSystemTextThenRetryCancel) {
    FakeDeviceScope fake;
    fake.line->failSetSettings = true;
    MessageBoxScript boxes;
    CPortClient client(0, 38400, 8, 'n', 1, 1);
    EXPECT_FALSE(client.IsAttached());
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0], "Invalid argument");
    EXPECT_EQ(boxes.captions[0], "Error");
    EXPECT_EQ(boxes.types[0], kMbOk | kMbIconInformation);
    EXPECT_EQ(boxes.texts[1], "Schnittstelle \"COM1\" von Windos belegt oder nicht vorhanden!");
    EXPECT_EQ(fake.line->calls.back(), "close");
    EXPECT_EQ(PortRegistry().m_count, 0);
}

TEST(PortLifecycle, OpenSetsUpPurgesAndConfiguresAndCloseDropsBothQueues) {
    FakeDeviceScope fake;
    {
        CPortClient client(0, 38400, 8, 'n', 1, 1);
        ASSERT_TRUE(client.IsAttached());
        EXPECT_EQ(fake.line->calls, (std::vector<std::string>{"open 0", "queues 4096 4096", "purge",
                                                              "set", "immediate"}));
        client.Transfer(0x42);
    }
    ASSERT_GE(fake.line->calls.size(), 2u);
    EXPECT_EQ(fake.line->calls[fake.line->calls.size() - 2], "purge");
    EXPECT_EQ(fake.line->calls.back(), "close");
}

TEST(PortLifecycle, AFullRingGivesUpItsOldestBytes) {
    FakeDeviceScope fake;
    CPortClient writer(0, 38400, 8, 'n', 1, 1);
    CPortClient reader(0, 38400, 8, 'n', 1, 1);
    for (int i = 0; i < 300; ++i) {
        writer.Transfer(i & 0xFF);
    }
    // The newest 255 bytes survive, in order: 45 .. 299.
    std::vector<int> got;
    while (reader.Transfer(-2) == 1 && !reader.RingEmpty()) {
        got.push_back(reader.Transfer(-3));
    }
    ASSERT_EQ(got.size(), 255u);
    EXPECT_EQ(got.front(), 45);
    EXPECT_EQ(got.back(), 299 & 0xFF);
}

TEST(PortLifecycle, APollWithBytesWaitingDoesNotReadTheDevice) {
    FakeDeviceScope fake;
    CPortClient client(0, 38400, 8, 'n', 1, 1);
    fake.line->Deliver({1, 2});
    EXPECT_EQ(client.Transfer(-2), 1);
    int reads = fake.line->readsFromDevice;
    EXPECT_EQ(client.Transfer(-2), 1);
    EXPECT_EQ(client.Transfer(-3), 1); // returns at once from the ring
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
