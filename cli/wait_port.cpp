#include "cli/wait_port.h"

#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/user_messages.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/device_path.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// Short against a person's patience, long against the cost of a stat.
constexpr int kLookIntervalMs = 50;
// udev sets a new device's group and mode well within this; longer is a lasting refusal.
constexpr auto kPermissionSettling = std::chrono::seconds(2);

enum class Waited { kMet, kTimeUp, kInterrupted };

template <typename Condition> Waited WaitUntil(Condition met, Clock::time_point deadline) {
    const int interruptsBefore = InterruptCount();
    while (!met()) {
        if (InterruptCount() > interruptsBefore) {
            return Waited::kInterrupted;
        }
        if (Clock::now() >= deadline) {
            return Waited::kTimeUp;
        }
        Sleep(kLookIntervalMs);
    }
    return Waited::kMet;
}

} // namespace

int WaitForPort(const std::string& path, double seconds, bool quiet, JsonEvents& events) {
    if (DevicePathExists(path)) {
        return -1;
    }
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    if (!quiet) {
        std::fprintf(stderr, "tovik-cli: waiting for %s ... (up to %g s)\n", path.c_str(), seconds);
    }
    events.Waiting(path, seconds);
    Waited waited = WaitUntil([&] { return DevicePathExists(path); }, deadline);
    if (waited == Waited::kMet) {
        const Clock::time_point appeared = Clock::now();
        if (!quiet) {
            std::fprintf(stderr, "tovik-cli: %s is there after %.1f s\n", path.c_str(),
                         std::chrono::duration<double>(appeared - start).count());
        }
        waited = WaitUntil([&] { return DevicePathAccessible(path); },
                           std::min(deadline, appeared + kPermissionSettling));
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
