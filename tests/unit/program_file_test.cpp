// The programming pass: which write blocks a file becomes, and how the pass ends.

#include "fake_serial_device.h"
#include "loader/program_file.h"
#include "loader_test_support.h"
#include "platform/message_box.h"
#include "protocol/unit_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

using Wire = std::vector<uint8_t>;

// The pass over a real link to a fake device that answers each command from a script.
struct ProgramPass : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    CUnitLink link{0, 38400, 60, 0};
    RecordingPanel panel;
    std::vector<std::string> boxes;
    std::vector<Wire> requests;                 // the payload of every request, not its repeats
    std::map<std::string, std::string> replies; // command -> "OK", "ERR...", "" for silence

    void SetUp() override {
        g_blockLimit = 198;
        panel.BeginRun(nullptr, 1, 0, 1); // no worker: the pass runs on the test's thread
        SetMessageBoxHook([this](const std::string& text, const std::string&, unsigned type) {
            boxes.push_back(text + "|" + std::to_string(type));
            return kIdOk;
        });
        fake.line->onFrame = [this](const Wire& wire) {
            if (wire == m_lastWire) {
                return;
            }
            m_lastWire = wire;
            const Wire payload = PayloadOf(wire);
            requests.push_back(payload);
            const std::string command(payload.begin(), payload.begin() + 2);
            const auto found = replies.find(command);
            const std::string result = found == replies.end() ? "OK" : found->second;
            if (!result.empty()) {
                fake.line->Deliver(DeviceReply(wire[2], ":" + command.substr(1) + result));
            }
        };
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        g_blockLimit = 198;
    }
    int Program(const std::string& text) {
        File file = FileWith(text);
        return ProgramFile(UpdateProgress, &panel, file.get(), &link, 1);
    }
    // Address and length of every "!W" sent.
    std::vector<std::pair<uint32_t, int>> Writes() const {
        std::vector<std::pair<uint32_t, int>> writes;
        for (const Wire& r : requests) {
            if (r[1] == 'W') {
                uint32_t address =
                    uint32_t(r[2]) << 24 | uint32_t(r[3]) << 16 | uint32_t(r[4]) << 8 | r[5];
                writes.emplace_back(address, static_cast<int>(r.size()) - 6);
            }
        }
        return writes;
    }
    std::vector<int> WriteLengths() const {
        std::vector<int> lengths;
        for (auto& w : Writes()) {
            lengths.push_back(w.second);
        }
        return lengths;
    }
    Wire WrittenData() const {
        Wire data;
        for (const Wire& r : requests) {
            if (r[1] == 'W') {
                data.insert(data.end(), r.begin() + 6, r.end());
            }
        }
        return data;
    }
    bool Sent(char command) const {
        return std::any_of(requests.begin(), requests.end(),
                           [command](const Wire& r) { return r[1] == command; });
    }

private:
    Wire m_lastWire;
};

TEST_F(ProgramPass, BlockSizesOfContiguousRecords) {
    const struct {
        int type;
        uint32_t address;
        int records, recordLength;
        std::vector<int> blocks;
    } cases[] = {
        {2, 0x10000, 30, 16, {208, 208, 64}},
        {2, 0x10000, 15, 32, {224, 224, 32}},
        {1, 0x0000, 12, 16, {80, 80, 32}},
        {1, 0x0000, 8, 32, {96, 96, 64}},
        // The first record alone, then one that does not follow the empty block at 0 joined by
        // the next, then one record each.
        {1, 0x0000, 6, 80, {80, 160, 80, 80, 80}},
        // No write carries more than a frame holds: 100-byte records join to 200, 90-byte ones
        // would join to 270, so the block goes at 180 and the record starts the next.
        {3, 0x10000, 5, 100, {200, 200, 100}},
        {3, 0x10000, 5, 90, {180, 180, 90}},
    };
    for (const auto& c : cases) {
        g_blockLimit = 198;
        requests.clear();
        Wire data;
        EXPECT_EQ(
            Program(WithEnd(DataRecords(c.type, c.address, c.records, c.recordLength, &data))), 0);
        EXPECT_EQ(WriteLengths(), c.blocks) << c.recordLength;
        EXPECT_EQ(WrittenData(), data);
        EXPECT_EQ(Writes().front().first, c.address);
        EXPECT_TRUE(Sent('G'));
    }
}

TEST_F(ProgramPass, GapsEndABlockAndHeadersOrEmptyRecordsDoNot) {
    std::string text = DataRecords(2, 0x10000, 3, 16) + SRecordLine(0, 0, Bytes("mid")) +
                       SRecordLine(2, 0x10030) + DataRecords(2, 0x10030, 2, 16) +
                       DataRecords(2, 0x18000, 2, 16) + DataRecords(2, 0x17000, 1, 16);
    EXPECT_EQ(Program(WithEnd(text)), 0);
    EXPECT_EQ(Writes(),
              (std::vector<std::pair<uint32_t, int>>{{0x10000, 80}, {0x18000, 32}, {0x17000, 16}}));
}

TEST_F(ProgramPass, StartReplyDecidesTheMessage) {
    EXPECT_EQ(Program(WithEnd("")), 0);
    EXPECT_FALSE(Sent('W'));
    EXPECT_EQ(boxes, (std::vector<std::string>{"Transmission complete.\nDevice started.|64"}));
    EXPECT_EQ(panel.End(), "0 0");

    boxes.clear();
    replies["!G"] = "ERR00000005";
    EXPECT_EQ(Program(WithEnd("")), 0);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Transmission complete.|64"}));
}

TEST_F(ProgramPass, ARefusedWriteEndsThePassWithTheDevicesNumber) {
    // Whatever the number, also one that a line's result could be.
    const std::pair<const char*, int> cases[] = {{"ERR0000002A", 42}, {"ERR00000009", 9}};
    for (const auto& [reply, code] : cases) {
        requests.clear();
        boxes.clear();
        replies["!W"] = reply;
        EXPECT_EQ(Program(WithEnd(DataRecords(2, 0x10000, 30, 16))), code);
        EXPECT_EQ(WriteLengths().size(), 1u);
        EXPECT_FALSE(Sent('G'));
        EXPECT_EQ(boxes, (std::vector<std::string>{"Protocollerror !|0"}));
    }
}

TEST_F(ProgramPass, AnUnansweredWriteWaitsItsTimeOut) {
    replies["!W"] = "";
    int start = NowMs();
    EXPECT_EQ(Program(WithEnd(DataRecords(2, 0x10000, 5, 16))), -1);
    EXPECT_EQ(NowMs() - start, 80 * 30 + 1000);
}

TEST_F(ProgramPass, EarlyEnds) {
    EXPECT_EQ(ProgramFile(UpdateProgress, &panel, nullptr, &link, 1), kProgramNoFile);

    FILE* pipe = ::popen("true", "r");
    EXPECT_EQ(ProgramFile(UpdateProgress, &panel, pipe, &link, 1), kProgramRewindFailed);
    ::pclose(pipe);

    panel.Stop();
    EXPECT_EQ(Program(WithEnd(DataRecords(2, 0x10000, 3, 16))), kProgramStopped);
    EXPECT_TRUE(requests.empty());
    panel.BeginRun(nullptr, 1, 0, 1);

    // No end record: every block but the one being assembled is written, nothing is shown.
    EXPECT_EQ(Program(DataRecords(2, 0x10000, 30, 16)), kProgramNoEndRecord);
    EXPECT_EQ(WriteLengths(), (std::vector<int>{208, 208}));
    EXPECT_FALSE(Sent('G'));

    // A bad line ends the pass with its record result; blocks before it were written.
    requests.clear();
    std::string text = DataRecords(2, 0x10000, 20, 16);
    size_t line = 0;
    for (int i = 0; i < 15; ++i) {
        line = text.find('\n', line) + 1;
    }
    text[text.find('\n', line) - 1] ^= 1; // the 16th line's last checksum digit
    EXPECT_EQ(Program(WithEnd(text)), 2);
    EXPECT_EQ(WriteLengths(), (std::vector<int>{208}));
    EXPECT_TRUE(boxes.empty());
}

} // namespace
