#include "cli/simulated_device.h"

#include "sim/virtual_device.h"

namespace {

class CPtyDevice : public CSimulatedDevice {
public:
    explicit CPtyDevice(const SimOptions& options) : m_device(options) {}
    std::string PortPath() const override { return m_device.SlavePath(); }
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
    return device;
}
