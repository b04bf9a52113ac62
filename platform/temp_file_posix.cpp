// The copy on POSIX: a file without a name (O_TMPFILE, or one unlinked at once where the file
// system cannot make those), whose descriptor is left open across exec so that the children
// find it under the same number.

#include "platform/temp_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// An unnamed file in folder, mode 0600; -1 with errno set when none can be made.
int MakeUnnamedFile(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        return fd;
    }
    std::string pattern = folder + "/tovik-copy.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int named = ::mkstemp(name.data());
    if (named >= 0) {
        ::unlink(name.data());
    }
    return named;
}

} // namespace

CTempFile::~CTempFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CTempFile::Write(const char* data, size_t size, std::string* error) {
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    const int fd = MakeUnnamedFile(folder);
    if (fd < 0) {
        *error = "cannot make a temporary file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *error = std::string("cannot write the temporary file: ") + std::strerror(errno);
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    m_fd = fd;
    m_path = "/proc/self/fd/" + std::to_string(fd);
    return true;
}
