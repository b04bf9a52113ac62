#include "platform/config_files.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string ConfigDirectory() {
    // The XDG rule: an unset or relative XDG_CONFIG_HOME is to be ignored.
    std::string xdg = Environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == '/') {
        return xdg;
    }
    std::string home = Environment("HOME");
    if (home.empty()) {
        return "";
    }
    return (std::filesystem::path(home) / ".config").string();
}

bool ReplaceFileContents(const std::string& path, const std::string& text) {
    std::filesystem::path target(path);
    std::error_code error;
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            return false;
        }
    }

    // The temporary file must sit in the same directory: rename is only atomic within one
    // file system.
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp makes the file private; a profile the user made readable to others stays so.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(name.data(), path.c_str()) == 0) {
        // The rename itself lives in the directory; without this a power cut can still bring
        // back the old file. The new contents are in place either way, so failure is ignored.
        std::string directory = target.has_parent_path() ? target.parent_path().string() : ".";
        int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        return true;
    }
    ::unlink(name.data());
    return false;
}
