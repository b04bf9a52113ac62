// --wait-port on a virtual clock: the port (here a plain file) appears while the loader sleeps, at
// a virtual moment, or never; a Ctrl-C ends the wait.

#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/user_messages.h"
#include "cli/wait_port.h"
#include "platform/clock.h"
#include "platform/console.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>

namespace {

// Virtual time, and something that happens once it reaches a moment.
class ScriptedClock : public CVirtualClock {
public:
    ScriptedClock(int atMs, std::function<void()> happening)
        : CVirtualClock(0), m_atMs(atMs), m_happening(std::move(happening)) {}
    void Sleep(int ms) override {
        CVirtualClock::Sleep(ms);
        if (m_happening && m_atMs >= 0 && NowMs() >= m_atMs) {
            std::exchange(m_happening, nullptr)();
        }
    }

private:
    int m_atMs;
    std::function<void()> m_happening;
};

struct WaitCase {
    const char* name;
    bool there;              // the port is there before the wait
    int appearAtMs;          // -1: never
    double seconds;          // --wait-port
    int result;              // WaitForPort's
    int atLeastMs, atMostMs; // virtual time the wait took
};

const WaitCase kWaitCases[] = {
    {"already_there", true, -1, 5, -1, 0, 0},
    {"appears_in_time", false, 1200, 5, -1, 1200, 1300},
    {"appears_too_late", false, 2500, 2, kExitPortFailed, 2000, 2100},
};

class WaitPort : public ::testing::TestWithParam<WaitCase> {
protected:
    void SetUp() override { InstallInterruptHandlers("", -1); }
    void TearDown() override { InstallClock(nullptr); }
    const ScratchDir scratch;
    const std::string port = scratch / "port";
    const std::string events = scratch / "events.json";
};

TEST_P(WaitPort, UntilThePortIsThereOrTheTimeIsUp) {
    const WaitCase& c = GetParam();
    if (c.there) {
        std::ofstream(port) << "";
    }
    ScriptedClock clock(c.appearAtMs, [&] { std::ofstream(port) << ""; });
    InstallClock(&clock);
    FILE* out = std::fopen(events.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    int result;
    {
        JsonEvents json(out, "PORT");
        result = WaitForPort(port, c.seconds, true, json);
    }
    std::fclose(out);
    EXPECT_EQ(result, c.result);
    EXPECT_GE(clock.NowMs(), c.atLeastMs);
    EXPECT_LE(clock.NowMs(), c.atMostMs);
    const std::string lines = ReadText(events);
    if (c.there) {
        EXPECT_EQ(lines, "") << "no waiting for a port that is there";
    } else {
        EXPECT_EQ(lines.rfind("{\"event\":\"waiting\",\"port\":\"PORT\",", 0), 0u) << lines;
        std::string quoted; // as JSON writes it: a Windows path's backslashes doubled
        for (char c : port) {
            quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        EXPECT_NE(lines.find("\"path\":\"" + quoted + "\""), std::string::npos) << lines;
    }
    if (result == kExitPortFailed) {
        EXPECT_NE(ToldText().find("the port " + port + " did not appear within"), std::string::npos)
            << ToldText();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, WaitPort, ::testing::ValuesIn(kWaitCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
