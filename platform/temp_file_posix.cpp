#include "platform/temp_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

CTempFile::~CTempFile() {
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
    }
}

bool CTempFile::Write(const char* data, size_t size, std::string* error) {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/tovik-copy.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data()); // mode 0600
    if (fd < 0) {
        *error = "cannot make a temporary file in " + pattern.substr(0, pattern.rfind('/')) + ": " +
                 std::strerror(errno);
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
            ::unlink(name.data());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        *error = std::string("cannot write the temporary file: ") + std::strerror(errno);
        ::unlink(name.data());
        return false;
    }
    m_path = name.data();
    return true;
}
