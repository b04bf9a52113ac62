// Device paths on Windows: a COM port is a DOS device name, which the file system does not list.

#include "platform/device_path.h"

#include <windows.h>

#include <cctype>
#include <vector>

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";

// COM3, com3 and \\.\COM3 are one name to the system.
std::string DeviceName(const std::string& path) {
    const std::string prefix = kDevicePrefix;
    std::string name =
        path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

} // namespace

bool DevicePathExists(const std::string& path) {
    const std::string prefix = kDevicePrefix;
    if (path.compare(0, prefix.size(), prefix) == 0) {
        std::vector<char> target(1024);
        const std::string name = path.substr(prefix.size());
        return ::QueryDosDeviceA(name.c_str(), target.data(), static_cast<DWORD>(target.size())) !=
               0;
    }
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DevicePathAccessible(const std::string& path) {
    return DevicePathExists(path);
}

bool SameDevice(const std::string& a, const std::string& b) {
    return DeviceName(a) == DeviceName(b);
}

std::string ResolvedDevicePath(const std::string& path) {
    return DevicePathExists(path) ? path : std::string();
}
