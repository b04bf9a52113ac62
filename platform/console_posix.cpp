// Interrupts, standard streams and terminals on POSIX: signal handlers, descriptors and isatty.

#include "platform/console.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// Lock-free, so the handler may touch it; the main loop polls it.
std::atomic<int> g_interrupts{0};
// Written once before the handler is installed, read only by the handler.
const char* g_againText = "";
size_t g_againLength = 0;
int g_againExitCode = 1;
std::atomic<void (*)()> g_againAction{nullptr};
static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler needs a lock-free counter");

void OnInterrupt(int) {
    if (g_interrupts.fetch_add(1) > 0 && g_againExitCode >= 0) {
        // Only async-signal-safe calls from here on: no stdio, no exit handlers.
        ssize_t ignored = ::write(2, g_againText, g_againLength);
        (void)ignored;
        if (void (*action)() = g_againAction.load()) {
            action();
        }
        ::_exit(g_againExitCode);
    }
}

sigset_t InterruptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

thread_local int t_holds = 0;

} // namespace

CInterruptsHeld::CInterruptsHeld() {
    if (t_holds++ == 0) {
        const sigset_t signals = InterruptSignals();
        ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    }
}

CInterruptsHeld::~CInterruptsHeld() {
    if (--t_holds == 0) {
        const sigset_t signals = InterruptSignals();
        ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    }
}

void InstallInterruptHandlers(const char* againText, int againExitCode) {
    g_againText = againText;
    g_againLength = std::strlen(againText);
    g_againExitCode = againExitCode;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // One handler at a time: a SIGTERM that came while the handler of a SIGINT writes the last
    // record must not end the process in the middle of it.
    action.sa_mask = InterruptSignals();
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

void IgnoreBrokenPipes() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
    ::sigaction(SIGXFSZ, &action, nullptr);
}

void OpenNullOnClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor is this one, since those below it are open by now.
        int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

void SetInterruptedAgainAction(void (*action)()) {
    g_againAction.store(action);
}

int InterruptCount() {
    return g_interrupts.load();
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}
