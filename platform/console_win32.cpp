// Interrupts, standard streams and terminals on Windows: a console control handler and _isatty.
//
// Windows runs a control handler on a thread of its own, so unlike a signal handler it may print
// and exit normally; it must return at once, though, or the console waits for it.

#include "platform/console.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <io.h>

namespace {

std::atomic<int> g_interrupts{0};
// Written once before the handler is installed, read only by the handler.
const char* g_againText = "";
size_t g_againLength = 0;
int g_againExitCode = 1;
std::atomic<void (*)()> g_againAction{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) {
        // Closing the console, logging off, shutting down: Windows ends the process anyway.
        return FALSE;
    }
    if (g_interrupts.fetch_add(1) > 0 && g_againExitCode >= 0) {
        std::fputs(g_againText, stderr);
        std::fflush(stderr);
        if (void (*action)() = g_againAction.load()) {
            action();
        }
        // No destructors or exit handlers: the worker thread still holds the port.
        std::_Exit(g_againExitCode);
    }
    return TRUE;
}

} // namespace

void InstallInterruptHandlers(const char* againText, int againExitCode) {
    g_againText = againText;
    g_againLength = std::strlen(againText);
    g_againExitCode = againExitCode;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void IgnoreBrokenPipes() {}

void OpenNullOnClosedStandardStreams() {}

void SetInterruptedAgainAction(void (*action)()) {
    g_againAction.store(action);
}

int InterruptCount() {
    return g_interrupts.load();
}

bool IsTerminal(std::FILE* stream) {
    return ::_isatty(::_fileno(stream)) != 0;
}

CInterruptsHeld::CInterruptsHeld() {}

CInterruptsHeld::~CInterruptsHeld() {}
