#include "cli/user_messages.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

constexpr char kProgramPrefix[] = "tovik-cli: ";

// The worker's message boxes and the main thread's reports both tell.
std::mutex g_mutex;
bool g_resultsToStderr = false;
bool g_keepOnly = false;
std::string g_told;

} // namespace

void SendResultsToStderr() {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_resultsToStderr = true;
}

void KeepToldTextsOnly() {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_keepOnly = true;
}

void ForgetToldTexts() {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_told.clear();
}

void TellUser(Told kind, const std::string& text) {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (!g_keepOnly) {
        FILE* out = kind == Told::kResult && !g_resultsToStderr ? stdout : stderr;
        std::fprintf(out, "%s\n", text.c_str());
        std::fflush(out);
    }
    std::string kept = text;
    const std::string prefix = kProgramPrefix;
    if (kept.compare(0, prefix.size(), prefix) == 0) {
        kept.erase(0, prefix.size());
    }
    while (!kept.empty() && kept.back() == '\n') {
        kept.pop_back();
    }
    if (!kept.empty()) {
        g_told += (g_told.empty() ? "" : "\n") + kept;
    }
}

void TellUserF(Told kind, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    TellUser(kind, text);
}

std::string ToldText() {
    std::lock_guard<std::mutex> guard(g_mutex);
    return g_told;
}

std::string OnOneLine(const std::string& told) {
    std::string line;
    size_t start = 0;
    while (start <= told.size()) {
        size_t end = told.find('\n', start);
        if (end == std::string::npos) {
            end = told.size();
        }
        const std::string part = told.substr(start, end - start);
        start = end + 1;
        if (part.empty()) {
            continue;
        }
        if (!line.empty()) {
            line += std::string(".!?:;").find(line.back()) != std::string::npos ? " " : "; ";
        }
        line += part;
    }
    return line;
}
