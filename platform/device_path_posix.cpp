// Device paths on POSIX: stat follows links; access asks with the real user's rights, which is
// who opens the port. A device is known by its device number: /dev/serial/by-id links, a
// second device file made with mknod and the file itself all carry the same one.

#include "platform/device_path.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

bool DevicePathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool DevicePathAccessible(const std::string& path) {
    return ::access(path.c_str(), R_OK | W_OK) == 0;
}

bool SameDevice(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) {
        return a == b;
    }
    const bool firstIsDevice = S_ISCHR(first.st_mode) || S_ISBLK(first.st_mode);
    const bool secondIsDevice = S_ISCHR(second.st_mode) || S_ISBLK(second.st_mode);
    if (firstIsDevice || secondIsDevice) {
        return firstIsDevice && secondIsDevice &&
               (first.st_mode & S_IFMT) == (second.st_mode & S_IFMT) &&
               first.st_rdev == second.st_rdev;
    }
    // Not a device (tovik-cli refuses it later): the same file, through whatever names.
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string ResolvedDevicePath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}
