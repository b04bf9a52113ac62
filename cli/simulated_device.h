#pragma once
// The built-in virtual device behind --simulate. It answers on a pseudo-terminal, so it exists on
// POSIX only (simulated_device_posix.cpp); simulated_device_win32.cpp says why there is none.

#include <memory>
#include <string>

class CSimulatedDevice {
public:
    virtual ~CSimulatedDevice() = default;
    // The device the port layer opens to reach it.
    virtual std::string PortPath() const = 0;
};

// False, with the reason, when this platform has no virtual device.
bool SimulatedDeviceAvailable(std::string* reason);

// Starts the virtual device with its line throttled to wireBaud; it answers on PortPath() until
// the object goes. Null, with the reason, when it cannot start.
std::unique_ptr<CSimulatedDevice> StartSimulatedDevice(int wireBaud, std::string* error);
