#pragma once
// Child processes for the benchmarks that drive the real programs: tovik-sim in the background,
// tovik-cli timed from fork to exit, with its stderr read line by line as it comes so that each
// trace line carries the moment the loader printed it.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// tovik-sim with the given options, from its READY line until Stop().
class SimProcess {
public:
    SimProcess(const std::string& program, const std::vector<std::string>& options);
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Ready() const { return !m_slavePath.empty(); }
    const std::string& SlavePath() const { return m_slavePath; }
    void Stop();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_slavePath;
};

struct StampedLine {
    double seconds; // since the child was started
    std::string text;
};

struct ChildRun {
    int exitCode = -1;     // -1: did not exit normally
    double seconds = 0;    // from just before fork to the end of wait
    long maxRssKb = 0;     // the child's peak resident set
    double cpuSeconds = 0; // user + system time of the child
    std::vector<StampedLine> stderrLines;
};

// Runs argv[0] (searched in PATH when it has no slash) with argv, stdout to /dev/null, stderr read
// and stamped line by line.
ChildRun RunTimed(const std::vector<std::string>& argv);

} // namespace bench
