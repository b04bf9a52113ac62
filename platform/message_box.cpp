#include "platform/message_box.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_hookMutex;
MessageBoxHook g_hook;
std::string g_applicationName = "tovik";

int DefaultAnswer(const std::string& text, const std::string& caption, unsigned type) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return (type & kMbButtonMask) == kMbRetryCancel ? kIdCancel : kIdOk;
}

} // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard<std::mutex> guard(g_hookMutex);
    MessageBoxHook previous = std::move(g_hook);
    g_hook = std::move(hook);
    return previous;
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) {
    MessageBoxHook hook;
    {
        // The hook is copied out so that a box that waits for a person holds no lock.
        std::lock_guard<std::mutex> guard(g_hookMutex);
        hook = g_hook;
    }
    return hook ? hook(text, caption, type) : DefaultAnswer(text, caption, type);
}

int AfxMessageBox(const std::string& text, unsigned type) {
    return ShowMessageBox(text, ApplicationName(), type);
}

void SetApplicationName(const std::string& name) {
    std::lock_guard<std::mutex> guard(g_hookMutex);
    g_applicationName = name;
}

std::string ApplicationName() {
    std::lock_guard<std::mutex> guard(g_hookMutex);
    return g_applicationName;
}
