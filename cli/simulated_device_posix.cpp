#include "cli/simulated_device.h"

#include "platform/com_map.h"
#include "sim/virtual_device.h"

namespace {

class CPtyDevice : public CSimulatedDevice {
public:
    explicit CPtyDevice(const SimOptions& options) : m_device(options) {}
    VirtualDevice m_device;
};

} // namespace

bool SimulatedDeviceAvailable(std::string*) {
    return true;
}

std::unique_ptr<CSimulatedDevice> StartSimulatedDevice(int wireBaud, std::string* error) {
    SimOptions options;
    options.wireBaud = wireBaud;
    auto device = std::make_unique<CPtyDevice>(options);
    if (!device->m_device.Start(error)) {
        return nullptr;
    }
    SetComDevicePath(0, device->m_device.SlavePath());
    return device;
}
