#include "cli/simulated_device.h"

namespace {

// The virtual device needs a pseudo-terminal to stand on the other end of a COM port, and
// Windows has no such thing.
const char kNotOnWindows[] = "--simulate is not available on Windows";

} // namespace

bool SimulatedDeviceAvailable(std::string* reason) {
    if (reason) {
        *reason = kNotOnWindows;
    }
    return false;
}

std::unique_ptr<CSimulatedDevice> StartSimulatedDevice(int, std::string* error) {
    if (error) {
        *error = kNotOnWindows;
    }
    return nullptr;
}
