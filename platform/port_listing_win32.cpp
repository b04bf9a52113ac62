// Serial ports on Windows: the COM names the system knows, found by asking for each one's device.
//
// A COM port exists exactly when its DOS device name does; the target (\Device\Serial0,
// \Device\USBSER000, ...) tells which driver stands behind it.

#include "platform/port_listing.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// Windows itself numbers COM ports up to 256.
constexpr int kHighestComNumber = 256;

} // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
    std::vector<SerialPortEntry> ports;
    // Several NUL-separated targets may come back; the first is the one in force.
    std::vector<char> target(1024);
    for (int number = 1; number <= kHighestComNumber; ++number) {
        std::string name = "COM" + std::to_string(number);
        DWORD length =
            ::QueryDosDeviceA(name.c_str(), target.data(), static_cast<DWORD>(target.size()));
        if (length == 0) {
            continue;
        }
        target.back() = '\0';
        ports.push_back({name, std::string(target.data())});
    }
    return ports;
}

std::string SerialByIdName(const std::string&, const std::string&) {
    return std::string();
}
