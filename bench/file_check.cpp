// Reading a large S-record file: tovik-cli --dry-run against srec_cat and objcopy on the same file
// in the same run, best of three each, taken in turns so that a busy machine slows all of them
// alike. Then the dry run taken apart in-process: the up-front check, the line count and the
// programming pass without a device, each timed on its own.
//
//   tovik-bench-file-check BINDIR FILE WORKDIR

#include "loader/file_check.h"
#include "bench/timed_run.h"
#include "loader/program_file.h"
#include "loader/run_controller.h"
#include "loader/silent_panel.h"
#include "loader/srecord_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 3;

struct Tool {
    std::string label;
    std::vector<std::string> argv;
    double bestWall = 1e9;
    double bestCpu = 1e9;
};

template <typename F> double BestSeconds(F&& work) {
    double best = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = bench::Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(bench::Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s BINDIR FILE WORKDIR\n", argv[0]);
        return 2;
    }
    const std::string bin = argv[1];
    const std::string file = argv[2];
    const std::string work = argv[3];
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) {
        std::fprintf(stderr, "file_check: no %s\n", file.c_str());
        return 1;
    }
    const double megabytes = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("== file checking: %s (%.1f MiB of text)\n", file.c_str(), megabytes);
    std::printf("   goal: tovik-cli --dry-run faster than srec_cat and objcopy\n");

    const std::string objcopyOut = work + "/objcopy-out.bin";
    std::vector<Tool> tools = {
        {"tovik-cli --dry-run", {bin + "/tovik-cli", "--dry-run", file}},
        {"srec_cat -binary", {"srec_cat", file, "-o", "/dev/null", "-binary"}},
        {"objcopy -O binary", {"objcopy", "-I", "srec", "-O", "binary", file, objcopyOut}},
    };
    for (int round = 0; round < kRounds; ++round) {
        for (Tool& t : tools) {
            const bench::ChildRun run = bench::RunTimed(t.argv);
            if (run.exitCode != 0) {
                std::fprintf(stderr, "file_check: %s exited with %d\n", t.label.c_str(),
                             run.exitCode);
                for (const bench::StampedLine& line : run.stderrLines) {
                    std::fprintf(stderr, "  %s\n", line.text.c_str());
                }
                return 1;
            }
            std::printf("  round %d %-20s %7.3f s wall %7.3f s cpu\n", round + 1, t.label.c_str(),
                        run.seconds, run.cpuSeconds);
            t.bestWall = std::min(t.bestWall, run.seconds);
            t.bestCpu = std::min(t.bestCpu, run.cpuSeconds);
        }
    }
    std::remove(objcopyOut.c_str());

    std::printf("  %-20s %10s %10s %10s\n", "best of 3", "wall s", "cpu s", "MiB/s");
    for (const Tool& t : tools) {
        std::printf("  %-20s %10.3f %10.3f %10.1f\n", t.label.c_str(), t.bestWall, t.bestCpu,
                    megabytes / t.bestWall);
    }
    const double ours = tools[0].bestWall;
    std::printf("  ratio srec_cat / tovik-cli: %.2f; objcopy / tovik-cli: %.2f (above 1: tovik-cli "
                "faster)\n",
                tools[1].bestWall / ours, tools[2].bestWall / ours);

    // Where the dry run spends its time, in the order tovik-cli does the work.
    FILE* f = std::fopen(file.c_str(), "r");
    if (!f) {
        return 1;
    }
    CFileCheck check;
    int checkResult = 0;
    const double checkSeconds = BestSeconds([&] { checkResult = CheckSRecordFile(f, &check); });
    int lines = 0;
    const double countSeconds = BestSeconds([&] {
        std::rewind(f);
        lines = CountLines(f);
    });
    CSilentPanel silent;
    CRunController panel(&silent);
    panel.BeginRun(f, lines, 0, 1); // no worker: the pass runs here
    int passResult = 0;
    const double passSeconds =
        BestSeconds([&] { passResult = ProgramFile(UpdateProgress, &panel, f, nullptr, 0); });
    std::fclose(f);
    if (checkResult != 0 || passResult != 0) {
        std::fprintf(stderr, "file_check: the file did not read cleanly (%d, %d)\n", checkResult,
                     passResult);
        return 1;
    }
    std::printf("  in-process, best of 3: check %.3f s, line count %.3f s, programming pass "
                "without device %.3f s (%d lines, %d data records)\n",
                checkSeconds, countSeconds, passSeconds, lines, check.dataRecords);

    const bool met = ours < tools[1].bestWall && ours < tools[2].bestWall;
    std::printf("RESULT file_check: tovik-cli %.3f s, srec_cat %.3f s, objcopy %.3f s (goal: "
                "tovik-cli fastest) %s\n",
                ours, tools[1].bestWall, tools[2].bestWall, met ? "MET" : "NOT MET");
    return 0;
}
