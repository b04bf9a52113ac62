// Several devices at once: tovik-cli --port A --port B --port C loading one image into three
// tovik-sim --wire-baud 115200, against the same image loaded into one of them alone.
//
//   tovik-bench-parallel-load BINDIR IMAGE [RUNS]
//
// Each port is a child process with a line of its own, so three loads should take hardly longer
// than one: the parent's own cost (starting the children, reading their events) and the three
// loaders sharing the processor with three paced devices are what the ratio shows. Every run gets
// fresh devices; the figure is the median of RUNS (default 3).

#include "bench/timed_run.h"
#include "tests/support/sim_process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kBaud = 115200;
constexpr double kGoalRatio = 1.2;

struct Figures {
    bool ok = false;
    std::vector<double> seconds;
    std::vector<double> cpuSeconds;
    double Median(const std::vector<double>& values) const {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

// `ports` loads at once (one when ports is 1), `runs` times.
Figures Load(const std::string& bin, const std::string& image, int ports, int runs) {
    Figures figures;
    for (int run = 0; run < runs; ++run) {
        std::vector<std::unique_ptr<SimProcess>> sims;
        std::vector<std::string> argv{bin + "/tovik-cli", "--baud", std::to_string(kBaud), "-q"};
        for (int p = 0; p < ports; ++p) {
            sims.push_back(std::make_unique<SimProcess>(
                bin + "/tovik-sim",
                std::vector<std::string>{"--wire-baud", std::to_string(kBaud)}));
            if (!sims.back()->Ready()) {
                std::fprintf(stderr, "parallel_load: tovik-sim did not start\n");
                return figures;
            }
            argv.insert(argv.end(), {"--port", sims.back()->SlavePath()});
        }
        argv.push_back(image);
        const bench::ChildRun result = bench::RunTimed(argv);
        if (result.exitCode != 0) {
            std::fprintf(stderr, "parallel_load: tovik-cli exited with %d\n", result.exitCode);
            for (size_t i = 0; i < result.stderrLines.size() && i < 20; ++i) {
                std::fprintf(stderr, "  %s\n", result.stderrLines[i].text.c_str());
            }
            return figures;
        }
        figures.seconds.push_back(result.seconds);
        figures.cpuSeconds.push_back(result.cpuSeconds);
    }
    figures.ok = true;
    return figures;
}

void Print(const char* label, const Figures& f) {
    std::printf("  %-22s", label);
    for (double s : f.seconds) {
        std::printf(" %.3f", s);
    }
    std::printf(" s (median %.3f s); processor time of tovik-cli and its children, median %.3f s\n",
                f.Median(f.seconds), f.Median(f.cpuSeconds));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BINDIR IMAGE [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string bin = argv[1], image = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    std::printf("== several ports: tovik-cli --baud %d, three ports against one, each a "
                "tovik-sim --wire-baud %d\n",
                kBaud, kBaud);
    std::printf("   goal: three loads take at most %.1fx one load\n", kGoalRatio);
    const Figures one = Load(bin, image, 1, runs);
    if (!one.ok) {
        return 1;
    }
    const Figures three = Load(bin, image, 3, runs);
    if (!three.ok) {
        return 1;
    }
    Print("one port:", one);
    Print("three ports at once:", three);
    const double ratio = three.Median(three.seconds) / one.Median(one.seconds);
    std::printf("RESULT parallel_load: three ports %.3f s, one port %.3f s, ratio %.3f (goal <= "
                "%.1f) %s\n",
                three.Median(three.seconds), one.Median(one.seconds), ratio, kGoalRatio,
                ratio <= kGoalRatio ? "MET" : "NOT MET");
    return 0;
}
