// A Ctrl-C ends --wait-port at once, with the interrupted exit code.

#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/wait_port.h"
#include "platform/clock.h"
#include "platform/console.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class InterruptingClock : public CVirtualClock {
public:
    void Sleep(int ms) override {
        CVirtualClock::Sleep(ms);
        if (!m_raised && NowMs() >= 1500) {
            m_raised = true;
            std::raise(SIGINT);
        }
    }

private:
    bool m_raised = false;
};

TEST(WaitPort, EndsAtACtrlC) {
    // Counted only, so the test process goes on.
    InstallInterruptHandlers("", -1);
    InterruptingClock clock;
    InstallClock(&clock);
    JsonEvents off(nullptr, "PORT");
    const int start = clock.NowMs();
    const int result = WaitForPort("/no/such/port/ever", 60, true, off);
    InstallClock(nullptr);
    EXPECT_EQ(result, kExitInterrupted);
    EXPECT_LT(clock.NowMs() - start, 2000) << "the wait went on after the interrupt";
}

} // namespace
