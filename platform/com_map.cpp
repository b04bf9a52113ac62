#include "platform/com_map.h"

#include <cctype>
#include <map>
#include <mutex>

namespace {

std::mutex g_mutex;
std::map<int, std::string> g_paths;

} // namespace

std::string ComDevicePath(int comIndex) {
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        auto it = g_paths.find(comIndex);
        if (it != g_paths.end()) {
            return it->second;
        }
    }
    return DefaultComDevicePath(comIndex);
}

void SetComDevicePath(int comIndex, const std::string& path) {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (path.empty()) {
        g_paths.erase(comIndex);
    } else {
        g_paths[comIndex] = path;
    }
}

void ClearComDevicePaths() {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_paths.clear();
}

int ComIndexOfName(const std::string& name) {
    if (name.size() < 4 || name.size() > 6) {
        return -1;
    }
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) {
            return -1;
        }
    }
    int number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return -1;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number >= 1 && number <= 256 ? number - 1 : -1;
}
