#include "sim/slave_link.h"

#include <filesystem>
#include <random>
#include <system_error>

namespace sim {

bool PointLinkAt(const std::string& link, const std::string& target, std::string* error) {
    // Built beside the old link and renamed over it, so the name never goes missing in between.
    // The temporary name is this run's own, so two devices pointing one name never share it.
    namespace fs = std::filesystem;
    const std::string temporary = link + ".new" + std::to_string(std::random_device{}());
    std::error_code failure;
    fs::remove(temporary, failure);
    fs::create_symlink(target, temporary, failure);
    if (!failure) {
        fs::rename(temporary, link, failure);
    }
    if (failure) {
        if (error) {
            *error = "cannot link " + link + " to " + target + ": " + failure.message();
        }
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

void RemoveLinkTo(const std::string& link, const std::string& target) {
    std::error_code failure;
    const std::filesystem::path pointsAt = std::filesystem::read_symlink(link, failure);
    if (!failure && pointsAt == target) {
        std::filesystem::remove(link, failure);
    }
}

} // namespace sim
