#include "tests/support/sim_process.h"

#include <csignal>

SimProcess::SimProcess(const std::string& program, const std::vector<std::string>& options) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), options.begin(), options.end());
    std::string line;
    if (process_.Start(argv, ChildOutput::Pipe()) && process_.ReadLine(ChildProcess::kOut, line) &&
        line.rfind("READY ", 0) == 0) {
        slavePath_ = line.substr(6);
    }
}

void SimProcess::Kill() {
    process_.Kill();
    process_.WaitForExit();
}

int SimProcess::Stop() {
    process_.Signal(SIGTERM);
    return process_.WaitForExit().code;
}
