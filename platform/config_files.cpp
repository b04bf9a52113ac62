#include "platform/config_files.h"

#include <system_error>

bool MakeParentDirectories(const std::string& path, std::string* error) {
    const std::filesystem::path target = NativePath(path);
    if (!target.has_parent_path()) {
        return true;
    }
    std::error_code failure;
    std::filesystem::create_directories(target.parent_path(), failure);
    if (failure) {
        *error = failure.message();
        return false;
    }
    return true;
}
