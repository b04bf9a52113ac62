// Device paths on POSIX: stat follows links; access asks with the real user's rights, which is
// who opens the port.

#include "platform/device_path.h"

#include <sys/stat.h>
#include <unistd.h>

bool DevicePathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool DevicePathAccessible(const std::string& path) {
    return ::access(path.c_str(), R_OK | W_OK) == 0;
}
