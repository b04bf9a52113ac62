// Reading a large S-record file: tovik-cli --dry-run against objcopy and srec_cat on the same
// file in the same run, taken in turns so that a busy machine slows all of them alike; the median
// wall and the median CPU time of each count (the best are shown too). Then the dry run taken apart
// in-process: reading the file into memory, and the one pass that checks it, counts its lines and
// lists its blocks; and, for comparison, the programming pass a real run makes over the copy,
// without a device.
//
//   tovik-bench-file-check BINDIR FILE WORKDIR [ROUNDS]
//
// Goal: tovik-cli --dry-run at least twice as fast as objcopy -I srec -O binary.

#include "loader/file_check.h"
#include "bench/timed_run.h"
#include "loader/file_copy.h"
#include "loader/program_file.h"
#include "loader/run_controller.h"
#include "loader/silent_panel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double kGoalRatio = 2.0;

struct Tool {
    std::string label;
    std::vector<std::string> argv;
    std::vector<double> walls = {};
    std::vector<double> cpus = {};
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Best(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

template <typename F> double BestSeconds(int rounds, F&& work) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = bench::Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(bench::Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s BINDIR FILE WORKDIR [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string bin = argv[1];
    const std::string file = argv[2];
    const std::string work = argv[3];
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) {
        std::fprintf(stderr, "file_check: no %s\n", file.c_str());
        return 1;
    }
    const double megabytes = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("== file checking: %s (%.1f MiB of text)\n", file.c_str(), megabytes);
    std::printf("   goal: tovik-cli --dry-run at least %.0fx as fast as objcopy\n", kGoalRatio);

    const std::string objcopyOut = work + "/objcopy-out.bin";
    std::vector<Tool> tools = {
        {"tovik-cli --dry-run", {bin + "/tovik-cli", "--dry-run", file}},
        {"objcopy -O binary", {"objcopy", "-I", "srec", "-O", "binary", file, objcopyOut}},
        {"srec_cat -binary", {"srec_cat", file, "-o", "/dev/null", "-binary"}},
    };
    for (int round = 0; round < rounds; ++round) {
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
            t.walls.push_back(run.seconds);
            t.cpus.push_back(run.cpuSeconds);
        }
    }
    std::remove(objcopyOut.c_str());

    std::printf("  median of %-9d %10s %10s %10s %10s\n", rounds, "wall s", "cpu s", "MiB/s",
                "best wall");
    for (const Tool& t : tools) {
        std::printf("  %-20s %10.3f %10.3f %10.1f %10.3f\n", t.label.c_str(), Median(t.walls),
                    Median(t.cpus), megabytes / Median(t.walls), Best(t.walls));
    }
    const Tool& ours = tools[0];
    const double oursWall = Median(ours.walls);
    const double objcopyRatio = Median(tools[1].walls) / oursWall;
    std::printf("  medians: objcopy / tovik-cli: %.2f wall, %.2f cpu; srec_cat / tovik-cli: %.2f "
                "wall, %.2f cpu (above 1: tovik-cli faster); best against best: %.2f wall\n",
                objcopyRatio, Median(tools[1].cpus) / Median(ours.cpus),
                Median(tools[2].walls) / oursWall, Median(tools[2].cpus) / Median(ours.cpus),
                Best(tools[1].walls) / Best(ours.walls));

    // Where the dry run spends its time, in the order tovik-cli does the work.
    CFileCopy copy;
    std::string readError;
    int readResult = 0;
    const double readSeconds =
        BestSeconds(rounds, [&] { readResult = copy.ReadPath(file, &readError); });
    if (readResult != 0) {
        std::fprintf(stderr, "file_check: %s\n", readError.c_str());
        return 1;
    }
    CFileCheck check;
    long listed = 0;
    const double checkSeconds = BestSeconds(rounds, [&] {
        listed = 0;
        CheckSRecordText(copy.Data(), copy.Size(), &check, [&](uint32_t, int) { ++listed; });
    });
    FILE* stream = copy.Stream(&readError);
    CSilentPanel silent;
    CRunController panel(&silent);
    panel.BeginRun(stream, check.lineCount, 0, 1); // no worker: the pass runs here
    int passResult = -1;
    const double passSeconds = BestSeconds(rounds, [&] {
        passResult = stream ? ProgramFile(UpdateProgress, &panel, stream, nullptr, 0) : -1;
    });
    if (check.result != 0 || passResult != 0) {
        std::fprintf(stderr, "file_check: the file did not read cleanly (%d, %d)\n", check.result,
                     passResult);
        return 1;
    }
    std::printf("  in-process, best of %d: read into memory %.3f s, check with line count and "
                "block listing %.3f s (%.0f MiB/s; %d lines, %d data records, %ld blocks); a "
                "run's programming pass over the copy without device %.3f s\n",
                rounds, readSeconds, checkSeconds, megabytes / checkSeconds, check.lineCount,
                check.dataRecords, listed, passSeconds);

    const bool met = objcopyRatio >= kGoalRatio;
    std::printf("RESULT file_check (%.0f MiB, medians of %d): tovik-cli --dry-run %.3f s, objcopy "
                "%.3f s (%.2fx), srec_cat %.3f s (goal: %.0fx objcopy) %s\n",
                megabytes, rounds, oursWall, Median(tools[1].walls), objcopyRatio,
                Median(tools[2].walls), kGoalRatio, met ? "MET" : "NOT MET");
    return 0;
}
