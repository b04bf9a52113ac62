// tovik-sim: unit 0 on a pseudo-terminal, for trying the loader without hardware.

#include "sim/sim_command_line.h"
#include "sim/virtual_device.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <utility>

int main(int argc, char** argv) {
    SimCommandLine commandLine = ParseSimCommandLine(argc, argv);
    if (!commandLine.run) {
        return commandLine.exitCode;
    }
    const bool exitAfterGo = commandLine.options.exitAfterGo;

    // Blocked before the device thread exists, so only the wait below ever takes these signals.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

    VirtualDevice device(std::move(commandLine.options));
    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "tovik-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("READY %s\n", device.SlavePath().c_str());
    std::fflush(stdout);

    // The wait doubles as the check interval for --exit-after-go.
    const timespec interval{0, 50 * 1000 * 1000};
    for (;;) {
        if (sigtimedwait(&endSignals, nullptr, &interval) >= 0) {
            break;
        }
        if (exitAfterGo && device.GoAnswered()) {
            break;
        }
    }

    device.Stop();
    if (!device.WriteDump(&error)) {
        std::fprintf(stderr, "tovik-sim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
