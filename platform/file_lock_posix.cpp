#include "platform/file_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CFileLock::~CFileLock() {
    if (m_handle >= 0) {
        // Closing the descriptor releases the lock.
        ::close(static_cast<int>(m_handle));
    }
}

bool CFileLock::Acquire(const std::string& lockPath, std::string* error) {
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        // A lock file someone else made, in a folder that cannot be written: flock needs no
        // write access, and the write that follows will say what is wrong with the folder.
        const int refused = errno;
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            *error = std::strerror(refused);
            return false;
        }
    }
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            *error = std::strerror(errno);
            ::close(fd);
            return false;
        }
    }
    m_handle = fd;
    return true;
}
