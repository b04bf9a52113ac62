#include "platform/command_line.h"

#include <fstream>
#include <iterator>
#include <mutex>

namespace {

std::mutex g_mutex;
bool g_isSet = false;
std::string g_commandLine;

// Linux keeps the arguments NUL-separated in /proc; elsewhere there is no portable source and the
// front end must set the line.
std::string ReadFromSystem() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!raw.empty() && raw.back() == '\0') {
        raw.pop_back();
    }
    for (char& c : raw) {
        if (c == '\0') {
            c = ' ';
        }
    }
    return raw;
}

} // namespace

std::string GetProcessCommandLine() {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (!g_isSet) {
        g_commandLine = ReadFromSystem();
        g_isSet = true;
    }
    return g_commandLine;
}

void SetProcessCommandLine(const std::string& commandLine) {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_commandLine = commandLine;
    g_isSet = true;
}

void SetProcessCommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) {
            line += ' ';
        }
        line += argv[i];
    }
    SetProcessCommandLine(line);
}
