#include "platform/shared_counts.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CSharedCounts::~CSharedCounts() {
    if (m_handle >= 0) {
        ::close(static_cast<int>(m_handle));
    }
}

bool CSharedCounts::Open(const std::string& path, std::string* error) {
    // Its own open file description, not one inherited: flock locks those, so two processes that
    // share a descriptor would not exclude each other.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    m_handle = fd;
    return true;
}

bool CSharedCounts::Update(const std::function<void(SharedCounts&)>& change, SharedCounts* now) {
    *now = SharedCounts();
    const int fd = static_cast<int>(m_handle);
    if (fd < 0) {
        return false;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    int64_t values[2] = {0, 0};
    const ssize_t got = ::pread(fd, values, sizeof values, 0);
    bool ok = got >= 0;
    if (ok) {
        SharedCounts counts{values[0], values[1]};
        change(counts);
        values[0] = counts.passed;
        values[1] = counts.closing;
        ok = ::pwrite(fd, values, sizeof values, 0) == static_cast<ssize_t>(sizeof values);
        if (ok) {
            *now = counts;
        }
    }
    ::flock(fd, LOCK_UN);
    return ok;
}
