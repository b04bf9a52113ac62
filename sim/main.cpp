// tovik-sim: unit 0 on a pseudo-terminal, for trying the loader without hardware.

#include "platform/clock.h"
#include "platform/console.h"
#include "sim/sim_command_line.h"
#include "sim/virtual_device.h"

#include <cstdio>
#include <utility>

namespace {

// How often the main thread looks for an interrupt and, with --exit-after-go, for the answered
// start command.
constexpr int kCheckIntervalMs = 20;
// A second Ctrl-C or SIGTERM leaves without the dump, as a hung device would.
constexpr int kInterruptedAgainExitCode = 130;

} // namespace

int main(int argc, char** argv) {
    SimCommandLine commandLine = ParseSimCommandLine(argc, argv);
    if (!commandLine.run) {
        return commandLine.exitCode;
    }
    const bool exitAfterGo = commandLine.options.exitAfterGo;

    // Before the device thread exists, so the first interrupt only ever raises the count.
    InstallInterruptHandlers("tovik-sim: interrupted again, leaving at once\n",
                             kInterruptedAgainExitCode);
    VirtualDevice device(std::move(commandLine.options));
    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "tovik-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("READY %s\n", device.SlavePath().c_str());
    std::fflush(stdout);

    while (InterruptCount() == 0 && !(exitAfterGo && device.GoAnswered())) {
        Sleep(kCheckIntervalMs);
    }

    device.Stop();
    if (!device.WriteDump(&error)) {
        std::fprintf(stderr, "tovik-sim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
