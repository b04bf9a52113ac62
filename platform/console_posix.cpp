// Interrupts and terminals on POSIX: signal handlers and isatty.

#include "platform/console.h"

#include "cli/exit_codes.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {

// Lock-free, so the handler may touch it; the main loop polls it.
std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler needs a lock-free counter");

void OnInterrupt(int) {
    if (g_interrupts.fetch_add(1) > 0) {
        // Only async-signal-safe calls from here on: no stdio, no exit handlers.
        ssize_t ignored = ::write(2, kInterruptedAgainText, sizeof kInterruptedAgainText - 1);
        (void)ignored;
        ::_exit(kExitInterrupted);
    }
}

} // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int InterruptCount() {
    return g_interrupts.load();
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}
