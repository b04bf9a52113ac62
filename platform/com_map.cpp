#include "platform/com_map.h"

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
