// Descriptors on POSIX: poll, read and write, with EINTR and EAGAIN taken as "not yet".

#include "platform/fd_io.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace {

// How long one wait for room lasts, so that a cancel is seen soon.
constexpr int kWriteWaitMs = 20;

} // namespace

bool WaitReadable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

long ReadSome(int fd, std::uint8_t* data, std::size_t size) {
    const ssize_t count = ::read(fd, data, size);
    if (count > 0) {
        return static_cast<long>(count);
    }
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return 0;
    }
    // The end of the stream counts as a failure: there will be nothing more to read.
    return -1;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, int patienceMs,
              const std::atomic<bool>* cancel) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        if ((cancel && cancel->load()) || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        pollfd entry{fd, POLLOUT, 0};
        ::poll(&entry, 1, kWriteWaitMs);
    }
    return true;
}

void CloseFd(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}
