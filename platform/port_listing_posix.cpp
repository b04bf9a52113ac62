// Serial ports on Linux: the tty devices that sit on real hardware (a device link in sysfs), less
// the legacy 8250 slots that have no UART behind them, named by id where udev made such a link.

#include "platform/port_listing.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool HasUart(const std::string& sysTty) {
    // The 8250 driver lists every possible ttyS slot; "type" 0 means no UART answered there.
    std::ifstream type(sysTty + "/type");
    int value = -1;
    return !(type >> value) || value != 0;
}

// Each device that a link in folder leads to, and the link (the first by name).
std::map<std::string, std::string> ByIdLinks(const std::string& folder) {
    std::map<std::string, std::string> byId;
    for (const std::string& name : DirectoryEntries(folder)) {
        char resolved[PATH_MAX];
        std::string link = folder + "/" + name;
        if (::realpath(link.c_str(), resolved)) {
            byId.emplace(resolved, link);
        }
    }
    return byId;
}

} // namespace

std::string SerialByIdName(const std::string& device, const std::string& folder) {
    const std::map<std::string, std::string> byId = ByIdLinks(folder);
    const auto found = byId.find(device);
    return found == byId.end() ? std::string() : found->second;
}

std::vector<SerialPortEntry> ListSerialPorts() {
    std::map<std::string, std::string> byId = ByIdLinks("/dev/serial/by-id");
    std::vector<SerialPortEntry> ports;
    const std::string sysClass = "/sys/class/tty";
    for (const std::string& name : DirectoryEntries(sysClass)) {
        std::string sysTty = sysClass + "/" + name;
        struct stat info {};
        if (::stat((sysTty + "/device").c_str(), &info) != 0 || !HasUart(sysTty)) {
            continue;
        }
        std::string device = "/dev/" + name;
        if (::access(device.c_str(), F_OK) != 0) {
            continue;
        }
        ports.push_back({device, byId.count(device) ? byId[device] : std::string()});
    }
    return ports;
}
