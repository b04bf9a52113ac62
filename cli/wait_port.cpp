#include "cli/wait_port.h"

#include "cli/exit_codes.h"
#include "cli/run_events.h"
#include "cli/user_messages.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/device_path.h"

#include <algorithm>
#include <cstdio>

namespace {

// Short against a person's patience, long against the cost of a stat.
constexpr int kLookIntervalMs = 50;
// udev sets a new device's group and mode well within this; longer is a lasting refusal.
constexpr int kPermissionSettlingMs = 2000;

// Milliseconds from one reading to another, across the wrap of the count.
int MsBetween(int fromMs, int toMs) {
    return static_cast<int>(static_cast<unsigned>(toMs) - static_cast<unsigned>(fromMs));
}

enum class Waited { kMet, kTimeUp, kInterrupted };

// Time from the clock seam, so that tests run the wait on a virtual clock; the readings wrap and
// are compared by their difference only.
template <typename Condition> Waited WaitUntil(Condition met, int startMs, int limitMs) {
    const int interruptsBefore = InterruptCount();
    while (!met()) {
        if (InterruptCount() > interruptsBefore) {
            return Waited::kInterrupted;
        }
        if (MsBetween(startMs, NowMs()) >= limitMs) {
            return Waited::kTimeUp;
        }
        Sleep(kLookIntervalMs);
    }
    return Waited::kMet;
}

} // namespace

int WaitForPort(const std::string& path, double seconds, bool quiet, RunEventSink& events) {
    if (DevicePathExists(path)) {
        return -1;
    }
    // A day is longer than any wait asked for here, and fits the clock's range.
    const int limitMs = static_cast<int>(std::min(seconds, 86400.0) * 1000);
    const int startMs = NowMs();
    if (!quiet) {
        std::fprintf(stderr, "tovik-cli: waiting for %s ... (up to %g s)\n", path.c_str(), seconds);
    }
    RunEvent waiting(RunEvent::Kind::kWaiting);
    waiting.path = path;
    waiting.waitSeconds = seconds;
    events.Take(waiting);
    Waited waited = WaitUntil([&] { return DevicePathExists(path); }, startMs, limitMs);
    if (waited == Waited::kMet) {
        const int appearedMs = NowMs();
        if (!quiet) {
            std::fprintf(stderr, "tovik-cli: %s is there after %.1f s\n", path.c_str(),
                         MsBetween(startMs, appearedMs) / 1000.0);
        }
        waited =
            WaitUntil([&] { return DevicePathAccessible(path); }, appearedMs,
                      std::min(kPermissionSettlingMs, limitMs - MsBetween(startMs, appearedMs)));
    }
    switch (waited) {
    case Waited::kInterrupted:
        TellUser(Told::kProblem, "tovik-cli: stopped while waiting for " + path);
        return kExitInterrupted;
    case Waited::kTimeUp:
        if (!DevicePathExists(path)) {
            TellUserF(Told::kProblem, "tovik-cli: the port %s did not appear within %g s",
                      path.c_str(), seconds);
            return kExitPortFailed;
        }
        break;
    case Waited::kMet:
        break;
    }
    return -1;
}
