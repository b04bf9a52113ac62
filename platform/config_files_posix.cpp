#include "platform/config_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
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

// The user's home from the password database: what a program started without HOME (by a service
// manager, or with env -u HOME) still has. Empty when the user has no entry, no absolute home or
// one that is not there: system users are given /nonexistent, which is to say none, and making it
// would leave a stray folder at the top of the file system.
std::string HomeFromPasswordDatabase() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 4096);
    for (;;) {
        struct passwd entry {};
        struct passwd* found = nullptr;
        int result = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (result == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        struct stat home {};
        if (result != 0 || !found || !found->pw_dir || found->pw_dir[0] != '/' ||
            ::stat(found->pw_dir, &home) != 0 || !S_ISDIR(home.st_mode)) {
            return "";
        }
        return found->pw_dir;
    }
}

// Where a write of path goes: a symbolic link (a profile kept with a person's other settings
// files and linked into place) is written where it points. Renaming over the link would make it a
// file of its own, and the file it named would silently stop being the profile. A link that names
// nothing is replaced, as a missing file is made.
std::string WriteTarget(const std::string& path) {
    std::error_code failure;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, failure))) {
        return path;
    }
    std::filesystem::path resolved = std::filesystem::canonical(path, failure);
    return failure ? path : resolved.string();
}

} // namespace

std::string ConfigDirectory() {
    // The XDG rule: an unset or relative XDG_CONFIG_HOME is to be ignored.
    std::string xdg = Environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == '/') {
        return xdg;
    }
    // A relative HOME would put the settings wherever the program happened to be started.
    std::string home = Environment("HOME");
    if (home.empty() || home[0] != '/') {
        home = HomeFromPasswordDatabase();
    }
    if (home.empty()) {
        return "";
    }
    return (std::filesystem::path(home) / ".config").string();
}

std::filesystem::path NativePath(const std::string& path) {
    return path;
}

bool ReplaceFileContents(const std::string& linkOrFile, const std::string& text,
                         std::string* error) {
    if (!MakeParentDirectories(linkOrFile, error)) {
        return false;
    }
    const std::string path = WriteTarget(linkOrFile);
    std::filesystem::path target(path);

    // The temporary file must sit in the same directory: rename is only atomic within one
    // file system.
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; a profile the user made readable to others stays so.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    // The first failure is the one to tell: what follows it only cleans up.
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    int failure = ok ? 0 : errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(name.data(), path.c_str()) != 0) {
        ok = false;
    }
    if (!ok && failure == 0) {
        failure = errno;
    }
    if (ok) {
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
    *error = std::strerror(failure);
    return false;
}
