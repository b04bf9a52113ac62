// The worker thread on a virtual clock, against a scripted device on a recording serial line.

#include "fake_serial_device.h"
#include "loader/loader_worker.h"
#include "loader/program_file.h"
#include "loader_test_support.h"
#include "platform/message_box.h"
#include "serial/link_lock.h"

#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Wire = std::vector<uint8_t>;

struct Worker : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    RecordingPanel panel;
    TextFile file{SRecordLine(0, 0) + DataRecords(2, 0x10000, 20, 16) + SRecordLine(9, 0)};
    std::thread thread;
    // The device: answers at any rate unless told one; refuses the erases in failErase.
    int deviceRate = 0;
    std::vector<std::string> commands; // what the device was sent, "!E1", "!W", ...
    std::vector<int> probeRates;       // the line rate at each "!D"
    std::function<void(const std::string&)> onCommand;
    int failEraseOf = 0;

    void SetUp() override {
        g_blockLimit = 198;
        SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return kIdOk; });
        fake.line->onFrame = [this](const Wire& wire) {
            Wire payload = PayloadOf(wire);
            std::string command(payload.begin(), payload.begin() + 2);
            if (command == "!E") {
                command += std::to_string(payload[2]);
            }
            if (command == "!D") {
                probeRates.push_back(fake.line->settings.baudRate);
            }
            commands.push_back(command);
            if (onCommand) {
                onCommand(command);
            }
            if (deviceRate != 0 && fake.line->settings.baudRate != deviceRate) {
                return;
            }
            bool fail = command == "!E" + std::to_string(failEraseOf);
            if (fail) {
                failEraseOf = 0; // once
            }
            fake.line->Deliver(DeviceReply(wire[2], ":" + std::string(1, char(payload[1])) +
                                                        (fail ? "ERR00000003" : "OK")),
                               NowMs() + 2);
        };
        panel.m_pFile = file.Get();
        panel.m_nLineCount = 22;
        thread = std::thread(LoaderThreadProc, &panel);
        ASSERT_TRUE(WaitUntil([this] { return panel.m_bThreadRun.load(); }));
    }
    void TearDown() override {
        panel.m_bRun = 0;
        panel.m_bThreadRun = false;
        thread.join();
        EXPECT_TRUE(panel.m_bThreadEnded);
        SetMessageBoxHook(nullptr);
        g_blockLimit = 198;
    }

    void Start(int baudIndex, int comIndex = 0) {
        panel.m_nBaudIndex = baudIndex;
        panel.m_nComIndex = comIndex;
        panel.m_nState = 1;
        panel.m_bRun = 1;
    }
    bool RunEnds() {
        return WaitUntil([this] { return panel.m_bRun == 0; });
    }
    template <class T> T Locked(const T& value) {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        return value;
    }
    std::vector<std::string> Commands() { return Locked(commands); }
};

TEST_F(Worker, AutomaticRateAlternatesWithoutADevice) {
    deviceRate = 9600; // nothing answers
    Start(0);
    ASSERT_TRUE(WaitUntil([this] { return Locked(probeRates).size() >= 4; }));
    panel.m_bRun = 0;
    std::vector<int> rates = Locked(probeRates);
    EXPECT_EQ(std::vector<int>(rates.begin(), rates.begin() + 4),
              (std::vector<int>{38400, 57600, 38400, 57600}));
}

TEST_F(Worker, AutomaticRateFindsTheDeviceAndTheNextRunStartsThere) {
    deviceRate = 57600;
    Start(-1); // nothing selected counts as automatic
    ASSERT_TRUE(RunEnds());
    std::vector<int> rates = Locked(probeRates);
    EXPECT_EQ(rates, (std::vector<int>{38400, 57600}));
    EXPECT_EQ(panel.EventsOf("end "), (std::vector<std::string>{"0 0"}));

    Start(0);
    ASSERT_TRUE(RunEnds());
    rates = Locked(probeRates);
    EXPECT_EQ(rates.back(), 57600);
    EXPECT_EQ(rates.size(), 3u);
}

TEST_F(Worker, EraseClustersOneToSevenThenProgram) {
    Start(2);
    ASSERT_TRUE(RunEnds());
    std::vector<std::string> sent = Commands();
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 8),
              (std::vector<std::string>{"!D", "!E1", "!E2", "!E3", "!E4", "!E5", "!E6", "!E7"}));
    EXPECT_EQ(sent.back(), "!G");
    std::vector<std::string> events = panel.Events();
    auto erasing = std::find(events.begin(), events.end(), "erasing");
    ASSERT_NE(erasing, events.end());
    EXPECT_EQ(
        std::vector<std::string>(erasing + 1, erasing + 8),
        (std::vector<std::string>{"pos 1", "pos 2", "pos 3", "pos 4", "pos 5", "pos 6", "pos 7"}));
    EXPECT_EQ(*(erasing + 8), "programming");
    // The run ends with an empty bar and the idle display.
    EXPECT_EQ(events[events.size() - 2], "pos 0");
    EXPECT_EQ(events.back(), "stop");
}

TEST_F(Worker, AFailedEraseSearchesAgainAndRepeatsTheWholePass) {
    failEraseOf = 4;
    Start(1);
    ASSERT_TRUE(RunEnds());
    std::vector<std::string> sent = Commands();
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 17),
              (std::vector<std::string>{"!D", "!E1", "!E2", "!E3", "!E4", "!E5", "!E6", "!E7", "!D",
                                        "!E1", "!E2", "!E3", "!E4", "!E5", "!E6", "!E7", "!W"}));
    EXPECT_EQ(panel.EventsOf("end "), (std::vector<std::string>{"0 0"}));
}

TEST_F(Worker, StopDuringAnEraseEndsThePassAfterThatCommand) {
    onCommand = [this](const std::string& command) {
        if (command == "!E3") {
            panel.m_bRun = 0; // the user presses Stop while cluster 3 is being erased
        }
    };
    Start(1);
    ASSERT_TRUE(RunEnds());
    ASSERT_TRUE(WaitUntil([this] {
        return !Locked(fake.line->calls).empty() && Locked(fake.line->calls).back() == "close";
    }));
    EXPECT_EQ(Commands().back(), "!E3");
    EXPECT_EQ(panel.EventsOf("pos ").back(), "2");

    // The next Start begins with a search, on a new link.
    onCommand = nullptr;
    Start(1);
    ASSERT_TRUE(RunEnds());
    std::vector<std::string> sent = Commands();
    ASSERT_GT(sent.size(), 4u);
    EXPECT_EQ(sent[4], "!D");
    EXPECT_EQ(sent.back(), "!G");
}

TEST_F(Worker, EveryRunReadsTheFileFromItsStartAndOpensThePortChosenAtStart) {
    Start(1, 0);
    ASSERT_TRUE(RunEnds());
    std::vector<std::string> first = Commands();
    {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        commands.clear();
    }
    Start(1, 5);
    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(Commands(), first);
    std::vector<std::string> calls = Locked(fake.line->calls);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open 0"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open 5"), 1);
}

TEST(WorkerThread, EndsWhenARunIsWantedWithoutAFile) {
    RecordingPanel panel;
    panel.m_bRun = 1;
    EXPECT_EQ(LoaderThreadProc(&panel), 0);
    EXPECT_TRUE(panel.m_bThreadEnded);
    EXPECT_EQ(panel.m_bRun, 0);
}

} // namespace
