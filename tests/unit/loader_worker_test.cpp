// The worker thread on a virtual clock, against a scripted device on a recording serial line.

#include "fake_serial_device.h"
#include "loader/loader_worker.h"
#include "loader/program_file.h"
#include "loader_test_support.h"
#include "platform/com_map.h"
#include "platform/message_box.h"
#include "serial/link_lock.h"
#include "serial/port_policy.h"

#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

namespace {

using Wire = std::vector<uint8_t>;

struct Worker : ::testing::Test {
    FakeDeviceScope fake;
    VirtualClockScope time;
    RecordingPanel panel;
    File file = FileWith(WithEnd(DataRecords(2, 0x10000, 20, 16)));
    // The device: answers at any rate unless told one.
    int deviceRate = 0;
    std::vector<std::string> commands; // what the device was sent, "!E1", "!W", ...
    std::vector<int> probeRates;       // the line rate at each "!D"
    std::function<void(const std::string&)> onCommand;

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
            fake.line->Deliver(DeviceReply(wire[2], ":" + std::string(1, char(payload[1])) + "OK"),
                               NowMs() + 2);
        };
        panel.StartThread();
        ASSERT_TRUE(WaitUntil([this] { return panel.m_bThreadRun.load(); }));
    }
    void TearDown() override {
        panel.EndThread(true, nullptr);
        EXPECT_TRUE(panel.m_bThreadEnded);
        SetMessageBoxHook(nullptr);
        g_blockLimit = 198;
    }

    void Start(int baudIndex, int comIndex = 0) {
        ASSERT_TRUE(WaitUntil([this] { return !panel.LinkHeld(); }));
        panel.Clear();
        ASSERT_TRUE(panel.BeginRun(file.get(), 22, comIndex, baudIndex));
    }
    bool RunEnds() {
        // Until the worker has let go of the run's link (and so closed its port).
        return WaitUntil([this] {
            std::vector<std::string> events = panel.Events();
            return panel.m_bRun == 0 && !events.empty() && events.back() == "wound down";
        });
    }
    template <class T> T Locked(const T& value) {
        std::lock_guard<std::recursive_mutex> guard(LinkLock());
        return value;
    }
    std::vector<std::string> Commands() { return Locked(commands); }
};

TEST_F(Worker, AutomaticRateFindsTheDeviceAndTheNextRunStartsThere) {
    deviceRate = 57600;
    Start(-1); // nothing selected counts as automatic
    ASSERT_TRUE(RunEnds());
    std::vector<int> rates = Locked(probeRates);
    EXPECT_EQ(rates, (std::vector<int>{38400, 57600}));
    EXPECT_EQ(panel.End(), "0 0");

    // Again, from the file's start, on the port chosen at this Start.
    Start(0, 5);
    ASSERT_TRUE(RunEnds());
    rates = Locked(probeRates);
    EXPECT_EQ(rates.back(), 57600);
    EXPECT_EQ(rates.size(), 3u);
    EXPECT_EQ(panel.End(), "0 0");
    std::vector<std::string> calls = Locked(fake.line->calls);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open " + ComDevicePath(0)), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open " + ComDevicePath(5)), 1);

    // The search goes back to the other rate.
    deviceRate = 38400;
    Start(0);
    ASSERT_TRUE(RunEnds());
    rates = Locked(probeRates);
    EXPECT_EQ(std::vector<int>(rates.begin() + 3, rates.end()), (std::vector<int>{57600, 38400}));
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
    EXPECT_EQ(*(erasing + 8), "programming 22");
    // The run ends with an empty bar and the idle display.
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
              (std::vector<std::string>{"pos 0", "stop", "wound down"}));
}

TEST_F(Worker, StopDuringAnEraseEndsThePassAfterThatCommand) {
    onCommand = [this](const std::string& command) {
        if (command == "!E3") {
            panel.Stop(); // the user presses Stop while cluster 3 is being erased
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

// A Stop right after Start must never give the inputs back (no link held) while the worker goes
// on to open the port for the run nobody wants any more: a new Start would then meet the old run.
TEST_F(Worker, AStopRightAfterStartNeverLeavesALinkBehind) {
    deviceRate = 9600; // nothing answers: a link made for the stopped run would go on probing
    std::minstd_rand random(7);
    for (int round = 0; round < 1000; ++round) {
        ASSERT_TRUE(panel.BeginRun(file.get(), 22, 0, 1));
        // The Stop lands anywhere in the worker's idle turn, so that some land between its look
        // at the run flag and what it does about it.
        for (volatile unsigned spin = random() % 400; spin > 0; spin = spin - 1) {
        }
        panel.Stop();
        ASSERT_TRUE(WaitUntil([this] { return !panel.LinkHeld(); }));
        // What a dialog sees at this moment is what it gives the inputs back on. A few idle turns
        // of the worker (each sleeps 1 ms of the virtual clock) show what it does next.
        size_t seen = Locked(fake.line->calls).size();
        int32_t now = NowMs();
        ASSERT_TRUE(WaitUntil([now] { return NowMs() - now >= 3; }));
        std::vector<std::string> calls = Locked(fake.line->calls);
        long opens = std::count_if(calls.begin(), calls.end(),
                                   [](const std::string& c) { return c.rfind("open", 0) == 0; });
        long closes = std::count(calls.begin(), calls.end(), "close");
        ASSERT_EQ(opens, closes) << "round " << round << ": the port is open with no run";
        ASSERT_EQ(calls.size() - seen, 0u) << "round " << round << ": the line was used after";
    }
}

TEST(WorkerThread, EndsWhenARunIsWantedWithoutAFile) {
    RecordingPanel panel;
    ASSERT_TRUE(panel.BeginRun(nullptr, 1, 0, 1));
    EXPECT_EQ(LoaderThreadProc(&panel), 0);
    EXPECT_TRUE(panel.m_bThreadEnded);
    EXPECT_EQ(panel.m_bRun, 0);
}

} // namespace

namespace {

// A front end with nobody to ask: a port that cannot be opened or is lost is given up.
class GivingUpPolicy : public CPortPolicy {
public:
    GivingUpPolicy() { SetPortPolicy(this); }
    ~GivingUpPolicy() override { SetPortPolicy(nullptr); }
    int HandshakeMode() override { return 2; }
    std::string DevicePath(int) override { return std::string(); }
    bool RetryOpen(int, const CPortOpenFailure&) override { return false; }
    bool ReopenLost(int, const std::string&) override { return false; }
    void SettingsRefused(const std::string&) override {}
    bool GivingUpEndsRun() override { return true; }
};

struct PortEnd {
    const char* name;
    bool openFails;
    const char* goneAt; // the command at which the device goes away, or null
    RunEnd kind;
    RunPhase phase;
};

class WorkerPortEnd : public Worker, public ::testing::WithParamInterface<PortEnd> {};

// The port given up ends the run at once with the port's own account, and how far it had come.
TEST_P(WorkerPortEnd, EndsTheRunWithThePortsOutcome) {
    const PortEnd& c = GetParam();
    GivingUpPolicy policy;
    fake.line->failOpen = c.openFails;
    onCommand = [this, &c](const std::string& command) {
        if (c.goneAt && command == c.goneAt) {
            fake.line->goneAtMs = NowMs();
        }
    };
    Start(1);
    ASSERT_TRUE(RunEnds());
    const CRunOutcome& outcome = panel.Outcome();
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcome.phase, c.phase);
    if (c.openFails) {
        EXPECT_EQ(outcome.openFailure.path, "/dev/fake");
    }
    std::vector<std::string> calls = Locked(fake.line->calls);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open " + ComDevicePath(0)), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WorkerPortEnd,
    ::testing::Values(
        PortEnd{"NotOpened", true, nullptr, RunEnd::kPortNotOpened, RunPhase::kSearching},
        PortEnd{"LostWhileErasing", false, "!E3", RunEnd::kPortLost, RunPhase::kErasing},
        PortEnd{"LostWhileProgramming", false, "!W", RunEnd::kPortLost, RunPhase::kProgramming},
        PortEnd{"LostWhileStarting", false, "!G", RunEnd::kPortLost, RunPhase::kStarting}),
    [](const auto& info) { return std::string(info.param.name); });

// A run the worker did not end is stopped, as the stop said; without a policy that gives up, a
// port that cannot be opened does not end the run (a person at the dialog stops it).
TEST_F(Worker, AStopSaysWhatItStandsFor) {
    fake.line->failOpen = true;
    Start(1);
    ASSERT_TRUE(WaitUntil([this] { return panel.Result().m_nProbes >= 2; }));
    panel.Stop(RunEnd::kNoDevice);
    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(panel.Outcome().kind, RunEnd::kNoDevice);
    EXPECT_EQ(panel.Outcome().searches, 1);
}

} // namespace
