// Why a tty would not open, in the user's terms: which group to join, which program holds it,
// that there is no such device. Only reached after a failure, so it may look around (stat,
// the group database, /proc) at leisure.

#include "platform/serial_device_posix.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr const char* kListPortsFix = "check the name; --list-ports lists the serial ports found";

bool IsDigits(const char* text) {
    if (*text == '\0') {
        return false;
    }
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
    }
    return true;
}

std::string ProgramName(int pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// The process holding the exclusive lock that serial programs (this one among them) take on the
// device node, from /proc/locks ("1: FLOCK  ADVISORY  WRITE 1234 00:05:3 0 EOF"); 0 when none
// does. Among the processes that merely have the device open (a pseudo-terminal's own device
// program, a monitor), this is the one that keeps others out.
int FindLockHolder(const struct stat& device, int self) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string id, kind, mode, access, node;
        int pid = 0;
        if (!(fields >> id >> kind) || kind != "FLOCK" ||
            !(fields >> mode >> access >> pid >> node)) {
            continue; // another kind of lock, or a waiter ("1: -> FLOCK ...")
        }
        unsigned devMajor = 0, devMinor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(node.c_str(), "%x:%x:%llu", &devMajor, &devMinor, &inode) == 3 &&
            inode == device.st_ino && devMajor == major(device.st_dev) &&
            devMinor == minor(device.st_dev) && pid != self) {
            return pid;
        }
    }
    return 0;
}

} // namespace

int FindDeviceHolder(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) {
        return 0;
    }
    const int self = static_cast<int>(::getpid());
    if (const int locker = FindLockHolder(device, self)) {
        return locker;
    }
    int found = 0;
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return 0;
    }
    while (dirent* process = ::readdir(proc)) {
        if (!IsDigits(process->d_name)) {
            continue;
        }
        const int pid = std::atoi(process->d_name);
        if (found != 0 && pid == self) {
            continue;
        }
        const std::string fdDir = std::string("/proc/") + process->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) {
            continue; // another user's process, or gone meanwhile
        }
        bool holds = false;
        while (dirent* entry = ::readdir(fds)) {
            struct stat info {};
            if (IsDigits(entry->d_name) &&
                ::stat((fdDir + "/" + entry->d_name).c_str(), &info) == 0 &&
                S_ISCHR(info.st_mode) && info.st_rdev == device.st_rdev) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (holds) {
            found = pid;
            if (pid != self) {
                break;
            }
        }
    }
    ::closedir(proc);
    return found;
}

CPortOpenFailure ExplainOpenError(const std::string& path, int error) {
    CPortOpenFailure f;
    f.path = path;
    f.osError = error;
    f.reason = std::strerror(error);
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        f.kind = CPortOpenFailure::kNoDevice;
        f.reason = "no such device (" + f.reason + ")";
        f.fix = kListPortsFix;
        break;
    case EACCES:
    case EPERM: {
        f.kind = CPortOpenFailure::kNoAccess;
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            if (group* g = ::getgrgid(info.st_gid)) {
                f.group = g->gr_name;
            }
        }
        if (!f.group.empty() && f.group != "root") {
            f.fix = "the device belongs to the group " + f.group +
                    ", which this user is not in: " + "sudo usermod -aG " + f.group +
                    " $USER, then log in again";
        } else {
            f.fix = "this user may not open the device; ask for access to it (a udev rule)";
        }
        break;
    }
    case EBUSY:
    case EWOULDBLOCK: {
        f.kind = CPortOpenFailure::kBusy;
        f.holderPid = FindDeviceHolder(path);
        f.reason = "in use by another program";
        if (f.holderPid == static_cast<int>(::getpid())) {
            f.reason = "already open in this program";
        } else if (f.holderPid != 0) {
            const std::string name = ProgramName(f.holderPid);
            f.reason += ": " + (name.empty() ? std::string("PID ") : name + ", PID ") +
                        std::to_string(f.holderPid);
            f.fix = "end that program (kill " + std::to_string(f.holderPid) +
                    ") or close the port in it";
        } else {
            f.fix = "close the program that uses the port";
        }
        break;
    }
    case EISDIR:
        f.kind = CPortOpenFailure::kNotSerial;
        f.reason = "a directory, not a serial device";
        f.fix = "give the device of the serial line (--list-ports lists them)";
        break;
    default:
        f.kind = CPortOpenFailure::kOther;
        break;
    }
    return f;
}
