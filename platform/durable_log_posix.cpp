// The durable log on POSIX: O_APPEND puts every write at the end, flock keeps other processes'
// records (and their cut-backs) apart from ours, fsync makes the record durable. Every call here
// but strerror may be made from a signal handler, and strerror only when a reason is asked for.

#include "platform/durable_log_os.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Fail(int number, std::string* error) {
    if (error != nullptr) {
        *error = std::strerror(number);
    }
    return false;
}

// The record's bytes, written on until all are there or a write fails; errno then.
bool WriteAll(int fd, const char* data, size_t size, size_t* written) {
    *written = 0;
    while (*written < size) {
        const ssize_t count = ::write(fd, data + *written, size - *written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            if (count == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        *written += static_cast<size_t>(count);
    }
    return true;
}

} // namespace

namespace durable_log_os {

long long OpenForAppend(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        Fail(errno, error);
    }
    return fd;
}

void Close(long long handle) {
    ::close(static_cast<int>(handle));
}

bool AppendWhole(long long handle, const char* data, size_t size, std::string* error) {
    const int fd = static_cast<int>(handle);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return Fail(errno, error);
        }
    }
    struct stat before {};
    if (::fstat(fd, &before) != 0) {
        const int number = errno;
        ::flock(fd, LOCK_UN);
        return Fail(number, error);
    }
    // Normally one write takes the whole record; a write that falls short is followed by one for
    // the rest, under the same lock, which tells why it fell short when it fails in turn.
    size_t written = 0;
    int failure = WriteAll(fd, data, size, &written) ? 0 : errno;
    // A terminal or a pipe (--log /dev/stderr) cannot be synced, and has nothing to make durable.
    if (failure == 0 && ::fsync(fd) != 0 && (S_ISREG(before.st_mode) || errno != EINVAL)) {
        failure = errno;
    }
    if (failure != 0 && written > 0 && S_ISREG(before.st_mode)) {
        // No half record stays behind: the next one would continue its line.
        if (::ftruncate(fd, before.st_size) == 0) {
            ::fsync(fd);
        }
    }
    ::flock(fd, LOCK_UN);
    return failure == 0 || Fail(failure, error);
}

void Nap() {
    const timespec pause{0, 1000 * 1000};
    ::nanosleep(&pause, nullptr);
}

} // namespace durable_log_os
