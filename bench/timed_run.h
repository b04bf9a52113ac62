#pragma once
// A program timed from the outside: tovik-cli, srec_cat or objcopy run from start to exit, with
// its stderr read line by line as it comes so that each trace line carries the moment the program
// printed it.

#include <chrono>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

struct StampedLine {
    double seconds; // since the child was started
    std::string text;
};

struct ChildRun {
    int exitCode = -1;     // -1: did not exit normally
    double seconds = 0;    // from just before the start to the end of the wait
    long maxRssKb = 0;     // the child's peak resident set
    double cpuSeconds = 0; // user + system time of the child
    std::vector<StampedLine> stderrLines;
};

// Runs argv[0] (searched in PATH when it has no slash) with argv, stdout to /dev/null, stderr read
// and stamped line by line.
ChildRun RunTimed(const std::vector<std::string>& argv);

} // namespace bench
