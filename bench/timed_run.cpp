#include "bench/timed_run.h"

#include "tests/support/child_process.h"

namespace bench {

ChildRun RunTimed(const std::vector<std::string>& argv) {
    ChildRun run;
    ChildProcess child;
    const Clock::time_point start = Clock::now();
    if (!child.Start(argv, ChildOutput::Discard(), ChildOutput::Pipe())) {
        return run;
    }
    // The loader writes each trace line with one call right after the frame went out or was
    // accepted, so the moment the line is read is the moment of the frame, give or take the
    // scheduling of this process.
    for (std::string line; child.ReadLine(ChildProcess::kErr, line);) {
        run.stderrLines.push_back(
            {std::chrono::duration<double>(Clock::now() - start).count(), line});
    }
    const ChildExit& exit = child.WaitForExit();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.exitCode = exit.code;
    run.maxRssKb = exit.maxRssKb;
    run.cpuSeconds = exit.cpuSeconds;
    return run;
}

} // namespace bench
