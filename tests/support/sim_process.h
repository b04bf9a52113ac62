#pragma once
// tovik-sim run as a separate process, from the moment it announces its port until Stop().

#include "tests/support/child_process.h"

#include <string>
#include <vector>

class SimProcess {
public:
    // Starts the program with `options` and waits for its "READY <slave path>" line, which comes
    // once the device answers. Its standard error stays this process's.
    SimProcess(const std::string& program, const std::vector<std::string>& options);
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // False when it ended or said something else before it was ready.
    bool Ready() const { return !slavePath_.empty(); }
    const std::string& SlavePath() const { return slavePath_; }

    // Ends the device as a user would (SIGTERM; it writes its dump on the way out) and waits for
    // it; its exit code, -1 when it did not exit by itself. Safe to call more than once.
    int Stop();
    // Ends the device at once (SIGKILL), as a crash or a pulled cable would: no dump, and the
    // pseudo-terminal's master closes with the process.
    void Kill();

private:
    ChildProcess process_;
    std::string slavePath_;
};
