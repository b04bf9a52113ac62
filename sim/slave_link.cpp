#include "sim/slave_link.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace sim {

bool PointLinkAt(const std::string& link, const std::string& target, std::string* error) {
    // Built beside the old link and renamed over it, so the name never goes missing in between.
    const std::string temporary = link + ".new" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
        std::rename(temporary.c_str(), link.c_str()) != 0) {
        if (error) {
            *error = "cannot link " + link + " to " + target + ": " + std::strerror(errno);
        }
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

void RemoveLinkTo(const std::string& link, const std::string& target) {
    std::vector<char> buffer(target.size() + 2);
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length >= 0 && std::string(buffer.data(), static_cast<std::size_t>(length)) == target) {
        ::unlink(link.c_str());
    }
}

} // namespace sim
