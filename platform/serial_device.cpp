#include "platform/serial_device.h"

#include "platform/com_map.h"

#include <mutex>

namespace {

std::mutex g_factoryMutex;
SerialDeviceFactory g_factory;

} // namespace

bool CSerialDevice::Open(int comIndex) {
    return Open(ComDevicePath(comIndex));
}

std::unique_ptr<CSerialDevice> CreateSerialDevice() {
    SerialDeviceFactory factory;
    {
        std::lock_guard<std::mutex> guard(g_factoryMutex);
        factory = g_factory;
    }
    return factory ? factory() : CreatePlatformSerialDevice();
}

void SetSerialDeviceFactory(SerialDeviceFactory factory) {
    std::lock_guard<std::mutex> guard(g_factoryMutex);
    g_factory = std::move(factory);
}

std::string CPortOpenFailure::Text() const {
    std::string text = "cannot open " + path + ": " + reason;
    if (!fix.empty()) {
        text += "; " + fix;
    }
    return text;
}
