// The latency timer of a USB-serial adapter, as Linux shows it in sysfs: the driver holds received
// bytes until it runs out, which a protocol of short replies pays on every transaction.

#include "platform/serial_device_posix.h"

#include <climits>
#include <cstdlib>
#include <fstream>

std::string LatencyTimerAdvice(const std::string& devicePath, const std::string& sysClassTty) {
    char resolved[PATH_MAX];
    std::string device = ::realpath(devicePath.c_str(), resolved) ? resolved : devicePath;
    std::string name = device.substr(device.find_last_of('/') + 1);
    const std::string file = sysClassTty + "/" + name + "/device/latency_timer";
    std::ifstream in(file);
    int ms = 0;
    if (!(in >> ms) || ms <= 1) {
        return std::string();
    }
    return "the USB adapter of " + devicePath + " holds received bytes for " + std::to_string(ms) +
           " ms before it passes them on, which slows every reply; lower its timer to 1 ms as "
           "root (echo 1 > " +
           file +
           ") or for good with a udev rule such as ACTION==\"add\", SUBSYSTEM==\"usb-serial\", "
           "ATTR{latency_timer}=\"1\"";
}
