// Whole loads through the real programs: tovik-cli into tovik-sim, timed from the outside.
//
//   tovik-bench-cli-load line BINDIR IMAGE [LOW_IMAGE]
//     The line efficiency at 115200 baud: the time every byte on the wire needs at 11 520 bytes/s
//     against the time the load took, for the whole run and for the programming phase alone.
//     LOW_IMAGE, when given, is the same data linked below 0x10000, where the loader sends
//     smaller blocks.
//   tovik-bench-cli-load latency BINDIR IMAGE
//     The same line efficiency through a USB adapter's latency timer: tovik-sim --latency-ms N
//     for N = 0 (no adapter), 1 (an adapter asked for low latency) and 16 (the usual default).
//   tovik-bench-cli-load overhead BINDIR IMAGE
//     The host's own speed: the load into an unthrottled device, in bytes per second and
//     milliseconds per "!W".
//   tovik-bench-cli-load memory BINDIR SMALL_IMAGE LARGE_IMAGE
//     The peak resident set of tovik-cli, and its heap allocations under valgrind for a dry run
//     and a real load of both images: the counts must not grow with the size of the image.
//
// Every load runs twice against a fresh device: once plain (-q), which gives the headline time,
// and once with --trace, whose lines are stamped as they arrive. The trace gives the bytes on the
// wire in both directions and where the phases (probe, erase, program, start) begin and end.

#include "bench/timed_run.h"
#include "tests/support/sim_process.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kBaud = 115200;
constexpr double kGoalLineRatio = 0.95;
constexpr double kGoalOverheadMs = 2.0;
constexpr long kGoalRssKb = 8 * 1024;
// tovik-sim's erase time when not told otherwise.
constexpr int kDefaultEraseMs = 20;

struct TracedFrame {
    double seconds;
    bool sent;
    std::vector<uint8_t> bytes; // sent: wire bytes; received: header, payload, digits unescaped
};

bool ParseTraceLine(const bench::StampedLine& line, TracedFrame& frame) {
    const std::string& t = line.text;
    if (t.size() < 4 || (t[0] != '>' && t[0] != '<') || t[1] != ' ') {
        return false;
    }
    frame.seconds = line.seconds;
    frame.sent = t[0] == '>';
    frame.bytes.clear();
    for (size_t i = 2; i + 1 < t.size(); i += 3) {
        frame.bytes.push_back(
            static_cast<uint8_t>(std::strtoul(t.substr(i, 2).c_str(), nullptr, 16)));
    }
    return frame.bytes.size() >= 5;
}

bool NeedsEscape(uint8_t b) {
    return b == 0x1B || b == 0x0D;
}

// Bytes the frame took on the wire.
int WireBytes(const TracedFrame& f) {
    if (f.sent) {
        return static_cast<int>(f.bytes.size());
    }
    // Header and payload get an ESC in front of every ESC and CR; the digits never need one;
    // CR LF FF end the frame.
    int escapes = 0;
    for (size_t i = 0; i + 2 < f.bytes.size(); ++i) {
        escapes += NeedsEscape(f.bytes[i]) ? 1 : 0;
    }
    return static_cast<int>(f.bytes.size()) + escapes + 3;
}

// Data bytes of a sent "!W" frame: unescaped payload less command text and address.
int WriteDataBytes(const TracedFrame& f) {
    int unescaped = 0;
    const size_t body = f.bytes.size() - 5; // two digits, CR LF FF
    for (size_t i = 0; i < body; ++i) {
        if (f.bytes[i] == 0x1B) {
            ++i;
        }
        ++unescaped;
    }
    return unescaped - 3 - 2 - 4;
}

std::string CommandOf(const TracedFrame& f) {
    return std::string(1, static_cast<char>(f.bytes[3])) + static_cast<char>(f.bytes[4]);
}

struct Phase {
    std::string command;
    int sent = 0;
    int replies = 0;
    uint64_t wireBytes = 0;
    uint64_t dataBytes = 0;
    double start = 0; // the previous phase's last frame; the first phase: its first frame
    double end = 0;   // this phase's last frame
    // Within the phase: from a request handed to the port to its reply accepted, and from a reply
    // accepted to the next request handed to the port (the host's own work between exchanges).
    double waitSeconds = 0;
    double turnSeconds = 0;
    int turns = 0;
};

struct TraceAnalysis {
    bool ok = false;
    std::vector<Phase> phases; // in the order they happened
    uint64_t wireSent = 0;
    uint64_t wireReceived = 0;
    double exitSeconds = 0;

    const Phase* Find(const std::string& command) const {
        for (const Phase& p : phases) {
            if (p.command == command) {
                return &p;
            }
        }
        return nullptr;
    }
};

TraceAnalysis Analyse(const bench::ChildRun& run) {
    TraceAnalysis a;
    a.exitSeconds = run.seconds;
    TracedFrame f;
    double last = 0;
    bool lastWasReply = false;
    for (const bench::StampedLine& line : run.stderrLines) {
        if (!ParseTraceLine(line, f)) {
            continue;
        }
        if (f.sent) {
            const std::string command = CommandOf(f);
            if (a.phases.empty() || a.phases.back().command != command) {
                Phase p;
                p.command = command;
                p.start = a.phases.empty() ? f.seconds : last;
                a.phases.push_back(p);
            } else if (lastWasReply) {
                a.phases.back().turnSeconds += f.seconds - last;
                ++a.phases.back().turns;
            }
            a.wireSent += static_cast<uint64_t>(WireBytes(f));
            ++a.phases.back().sent;
            if (command == "!W") {
                a.phases.back().dataBytes += static_cast<uint64_t>(WriteDataBytes(f));
            }
        } else {
            a.wireReceived += static_cast<uint64_t>(WireBytes(f));
            if (!a.phases.empty()) {
                ++a.phases.back().replies;
                a.phases.back().waitSeconds += f.seconds - last;
            }
        }
        lastWasReply = !f.sent;
        if (!a.phases.empty()) {
            a.phases.back().wireBytes += static_cast<uint64_t>(WireBytes(f));
            a.phases.back().end = f.seconds;
        }
        last = f.seconds;
    }
    a.ok = !a.phases.empty();
    return a;
}

double IdealSeconds(uint64_t wireBytes) {
    return static_cast<double>(wireBytes) / (kBaud / 10.0);
}

// Loads the image `plainRuns` times plainly, then once traced, each time into a fresh device.
// plainQuiet: the plain runs with -q; without it they print their few progress lines, whose
// stamps show where programming begins.
bool LoadRuns(const std::string& bin, const std::vector<std::string>& simOptions,
              const std::string& image, bool plainQuiet, int plainRuns,
              std::vector<bench::ChildRun>& plain, bench::ChildRun& traced) {
    const std::string cli = bin + "/tovik-cli";
    plain.clear();
    for (int pass = 0; pass <= plainRuns; ++pass) {
        const bool tracing = pass == plainRuns;
        SimProcess sim(bin + "/tovik-sim", simOptions);
        if (!sim.Ready()) {
            std::fprintf(stderr, "cli_load: tovik-sim did not start\n");
            return false;
        }
        std::vector<std::string> argv{cli, "--port", sim.SlavePath(), "--baud", "115200"};
        if (tracing) {
            argv.insert(argv.end(), {"-q", "--trace"});
        } else if (plainQuiet) {
            argv.push_back("-q");
        }
        argv.push_back(image);
        bench::ChildRun run = bench::RunTimed(argv);
        if (run.exitCode != 0) {
            std::fprintf(stderr, "cli_load: tovik-cli exited with %d\n", run.exitCode);
            for (size_t i = 0; i < run.stderrLines.size() && i < 20; ++i) {
                std::fprintf(stderr, "  %s\n", run.stderrLines[i].text.c_str());
            }
            return false;
        }
        if (tracing) {
            traced = std::move(run);
        } else {
            plain.push_back(std::move(run));
        }
    }
    return true;
}

void PrintPhases(const TraceAnalysis& a, bool paced) {
    std::printf("  %-6s %6s %6s %10s %10s %10s%s\n", "phase", "frames", "resent", "wire bytes",
                "elapsed ms", paced ? "ideal ms" : "", paced ? "  ideal/elapsed" : "");
    for (const Phase& p : a.phases) {
        const double ms = 1000.0 * (p.end - p.start);
        if (paced) {
            const double ideal = 1000.0 * IdealSeconds(p.wireBytes);
            std::printf("  %-6s %6d %6d %10llu %10.1f %10.1f  %.3f\n", p.command.c_str(), p.sent,
                        p.sent - p.replies, static_cast<unsigned long long>(p.wireBytes), ms, ideal,
                        ms > 0 ? ideal / ms : 0.0);
        } else {
            std::printf("  %-6s %6d %6d %10llu %10.1f\n", p.command.c_str(), p.sent,
                        p.sent - p.replies, static_cast<unsigned long long>(p.wireBytes), ms);
        }
    }
    std::printf("  (start-up before the first probe: %.1f ms; exit after the last reply: %.1f "
                "ms)\n",
                a.phases.empty() ? 0.0 : 1000.0 * a.phases.front().start,
                a.phases.empty() ? 0.0 : 1000.0 * (a.exitSeconds - a.phases.back().end));
}

struct LineFigures {
    bool ok = false;
    double whole = 0;       // ideal / elapsed, every byte on the wire counted
    double program = 0;     // the same over the programming phase
    double median = 0;      // elapsed, seconds
    double ideal = 0;       // every byte on the wire at the line's rate, seconds
    double data = 0;        // the file's data bytes alone at the line's rate, seconds
    double aboveLineMs = 0; // per "!W", over the programming phase
};

// simOptions: tovik-sim's options besides --wire-baud.
LineFigures LineRun(const std::string& bin, const std::string& image, const char* label,
                    const std::vector<std::string>& simOptions = {}) {
    constexpr int kPlainRuns = 3;
    LineFigures figures;
    std::vector<bench::ChildRun> plain;
    bench::ChildRun traced;
    std::vector<std::string> options{"--wire-baud", std::to_string(kBaud)};
    options.insert(options.end(), simOptions.begin(), simOptions.end());
    if (!LoadRuns(bin, options, image, true, kPlainRuns, plain, traced)) {
        return figures;
    }
    const TraceAnalysis a = Analyse(traced);
    const Phase* program = a.Find("!W");
    const Phase* erase = a.Find("!E");
    if (!a.ok || !program) {
        std::fprintf(stderr, "cli_load: no writes in the trace\n");
        return figures;
    }
    std::vector<double> elapsed;
    for (const bench::ChildRun& run : plain) {
        elapsed.push_back(run.seconds);
    }
    std::sort(elapsed.begin(), elapsed.end());
    const double median = elapsed[elapsed.size() / 2];
    const uint64_t wire = a.wireSent + a.wireReceived;
    const double ideal = IdealSeconds(wire);
    std::printf("%s: %d \"!W\" of %llu data bytes, avg %.1f bytes per block\n", label,
                program->sent, static_cast<unsigned long long>(program->dataBytes),
                static_cast<double>(program->dataBytes) / program->sent);
    std::printf("  elapsed, %d plain -q runs: %.3f / %.3f / %.3f s (median %.3f); traced run "
                "%.3f s\n",
                kPlainRuns, elapsed.front(), elapsed[1], elapsed.back(), median, traced.seconds);
    std::printf("  wire bytes: sent %llu, received %llu, total %llu\n",
                static_cast<unsigned long long>(a.wireSent),
                static_cast<unsigned long long>(a.wireReceived),
                static_cast<unsigned long long>(wire));
    std::printf("  ideal time at %d bytes/s: %.3f s\n", kBaud / 10, ideal);
    figures.whole = ideal / median;
    std::printf("  whole run ideal/elapsed: %.3f (range %.3f .. %.3f; traced run %.3f)\n",
                figures.whole, ideal / elapsed.back(), ideal / elapsed.front(),
                ideal / traced.seconds);
    if (erase) {
        // The device's erase time is spent by the device, not on the line nor by the host.
        const double busy = 0.001 * kDefaultEraseMs * erase->sent;
        std::printf("  whole run with the device's %.0f ms of erasing counted as needed: %.3f\n",
                    1000.0 * busy, (ideal + busy) / median);
    }
    const double programSeconds = program->end - program->start;
    figures.program = IdealSeconds(program->wireBytes) / programSeconds;
    figures.median = median;
    figures.ideal = ideal;
    figures.data = IdealSeconds(program->dataBytes);
    figures.aboveLineMs =
        1000.0 * (programSeconds - IdealSeconds(program->wireBytes)) / program->sent;
    std::printf("  programming phase: %.3f s for %.3f s of line time, ideal/elapsed %.3f, "
                "%.3f ms above the line per \"!W\"\n",
                programSeconds, IdealSeconds(program->wireBytes), figures.program,
                1000.0 * (programSeconds - IdealSeconds(program->wireBytes)) / program->sent);
    const double lineMs = 1000.0 * IdealSeconds(program->wireBytes) / program->sent;
    std::printf("  per \"!W\": line time %.3f ms; request handed over -> reply accepted %.3f ms; "
                "reply accepted -> next request handed over %.3f ms\n",
                lineMs, 1000.0 * program->waitSeconds / program->replies,
                1000.0 * program->turnSeconds / program->turns);
    PrintPhases(a, true);
    figures.ok = true;
    return figures;
}

int LineMode(const std::string& bin, const std::string& image, const std::string& lowImage) {
    std::printf("== line efficiency: tovik-cli --baud %d into tovik-sim --wire-baud %d\n", kBaud,
                kBaud);
    std::printf("   goal: ideal/elapsed >= %.2f\n", kGoalLineRatio);
    const LineFigures main = LineRun(bin, image, "image at 0x00020000");
    if (!main.ok) {
        return 1;
    }
    if (!lowImage.empty()) {
        const LineFigures low = LineRun(bin, lowImage, "same data at 0x00000000");
        if (!low.ok) {
            return 1;
        }
        std::printf("RESULT line_efficiency_low_address: whole run %.3f, programming phase %.3f "
                    "(goal >= %.2f) %s\n",
                    low.whole, low.program, kGoalLineRatio,
                    low.whole >= kGoalLineRatio ? "MET" : "NOT MET");
    }
    std::printf("RESULT line_efficiency: whole run %.3f %s, programming phase %.3f %s "
                "(goal >= %.2f)\n",
                main.whole, main.whole >= kGoalLineRatio ? "MET" : "NOT MET", main.program,
                main.program >= kGoalLineRatio ? "MET" : "NOT MET", kGoalLineRatio);
    return 0;
}

int LatencyMode(const std::string& bin, const std::string& image) {
    std::printf("== line efficiency through an adapter's latency timer: tovik-cli --baud %d into "
                "tovik-sim --wire-baud %d --latency-ms N\n",
                kBaud, kBaud);
    const int latencies[] = {0, 1, 16};
    std::vector<LineFigures> figures;
    for (int latency : latencies) {
        const std::string label = "latency " + std::to_string(latency) + " ms";
        figures.push_back(
            LineRun(bin, image, label.c_str(), {"--latency-ms", std::to_string(latency)}));
        if (!figures.back().ok) {
            return 1;
        }
    }
    std::printf("  %-10s %10s %10s %12s %12s %12s %14s\n", "latency", "elapsed s", "ideal s",
                "ideal/elaps", "data/elaps", "programming", "ms above/\"!W\"");
    for (size_t i = 0; i < figures.size(); ++i) {
        const LineFigures& f = figures[i];
        std::printf("  %7d ms %10.3f %10.3f %12.3f %12.3f %12.3f %14.3f\n", latencies[i], f.median,
                    f.ideal, f.whole, f.data / f.median, f.program, f.aboveLineMs);
    }
    std::printf("RESULT line_efficiency_latency: ideal/elapsed %.3f at 0 ms, %.3f at 1 ms, %.3f at "
                "16 ms\n",
                figures[0].whole, figures[1].whole, figures[2].whole);
    return 0;
}

int OverheadMode(const std::string& bin, const std::string& image) {
    std::printf("== host overhead: tovik-cli into an unthrottled tovik-sim\n");
    std::printf("   goal: < %.1f ms per \"!W\"\n", kGoalOverheadMs);
    std::vector<bench::ChildRun> plainRuns;
    bench::ChildRun traced;
    if (!LoadRuns(bin, {}, image, false, 1, plainRuns, traced)) {
        return 1;
    }
    const bench::ChildRun& plain = plainRuns.front();
    const TraceAnalysis a = Analyse(traced);
    const Phase* program = a.Find("!W");
    if (!a.ok || !program) {
        std::fprintf(stderr, "cli_load: no writes in the trace\n");
        return 1;
    }
    // The plain run's first "Programming" progress line is printed as programming begins.
    double programStart = -1;
    for (const bench::StampedLine& line : plain.stderrLines) {
        if (line.text.rfind("Programming", 0) == 0) {
            programStart = line.seconds;
            break;
        }
    }
    if (programStart < 0) {
        std::fprintf(stderr, "cli_load: no progress lines from the plain run\n");
        return 1;
    }
    const int writes = program->sent;
    const double data = static_cast<double>(program->dataBytes);
    // From programming's start to the exit: every "!W", then "!G" and the end of the process.
    const double programSeconds = plain.seconds - programStart;
    const double msPerWrite = 1000.0 * programSeconds / writes;
    std::printf("%d \"!W\", %llu data bytes\n", writes,
                static_cast<unsigned long long>(program->dataBytes));
    std::printf("  whole run: %.3f s, %.0f bytes/s, %.3f ms per \"!W\"\n", plain.seconds,
                data / plain.seconds, 1000.0 * plain.seconds / writes);
    std::printf("  from programming's start to the exit: %.3f s, %.0f bytes/s, %.3f ms per "
                "\"!W\"\n",
                programSeconds, data / programSeconds, msPerWrite);
    std::printf("  peak resident set of tovik-cli: %ld KiB\n", plain.maxRssKb);
    std::printf("  traced run (the trace delays the first reply poll by its own formatting, "
                "which here often saves the 1 ms sleep, so its times run short):\n");
    std::printf("  per \"!W\": request handed over -> reply accepted %.3f ms; reply accepted -> "
                "next request handed over %.3f ms\n",
                1000.0 * program->waitSeconds / program->replies,
                1000.0 * program->turnSeconds / program->turns);
    PrintPhases(a, false);
    std::printf("RESULT host_overhead: %.0f bytes/s whole run, %.3f ms per \"!W\" while "
                "programming (goal < %.1f) %s\n",
                data / plain.seconds, msPerWrite, kGoalOverheadMs,
                msPerWrite < kGoalOverheadMs ? "MET" : "NOT MET");
    return 0;
}

// "total heap usage: 1,234 allocs, ..." from valgrind's summary; -1 when there is none.
long HeapAllocations(const bench::ChildRun& run) {
    const std::string key = "total heap usage: ";
    for (const bench::StampedLine& line : run.stderrLines) {
        const size_t at = line.text.find(key);
        if (at == std::string::npos) {
            continue;
        }
        long value = 0;
        for (size_t i = at + key.size(); i < line.text.size(); ++i) {
            const char c = line.text[i];
            if (c >= '0' && c <= '9') {
                value = value * 10 + (c - '0');
            } else if (c != ',') {
                break;
            }
        }
        return value;
    }
    return -1;
}

// One tovik-cli run against a fresh unthrottled device (dryRun: no device), optionally under
// valgrind.
bool CliRun(const std::string& bin, const std::string& image, bool dryRun, bool underValgrind,
            bench::ChildRun& run) {
    std::vector<std::string> argv;
    if (underValgrind) {
        argv = {"valgrind", "--tool=memcheck", "--leak-check=no"};
    }
    argv.push_back(bin + "/tovik-cli");
    std::unique_ptr<SimProcess> sim;
    if (dryRun) {
        argv.push_back("--dry-run");
    } else {
        sim = std::make_unique<SimProcess>(bin + "/tovik-sim", std::vector<std::string>{});
        if (!sim->Ready()) {
            std::fprintf(stderr, "cli_load: tovik-sim did not start\n");
            return false;
        }
        argv.insert(argv.end(), {"--port", sim->SlavePath(), "--baud", "115200", "-q"});
    }
    argv.push_back(image);
    run = bench::RunTimed(argv);
    if (run.exitCode != 0) {
        std::fprintf(stderr, "cli_load: %s exited with %d\n", argv[0].c_str(), run.exitCode);
        for (size_t i = 0; i < run.stderrLines.size() && i < 20; ++i) {
            std::fprintf(stderr, "  %s\n", run.stderrLines[i].text.c_str());
        }
        return false;
    }
    return true;
}

int MemoryMode(const std::string& bin, const std::string& small, const std::string& large) {
    std::printf("== memory: tovik-cli into an unthrottled tovik-sim\n");
    std::printf("   goal: peak resident set < %ld KiB; heap allocations independent of size\n",
                kGoalRssKb);
    struct Case {
        const char* label;
        const std::string* image;
        bool dryRun;
        long rssKb = 0;
        long allocations = -1;
    };
    Case cases[] = {{"dry run, small image", &small, true},
                    {"dry run, large image", &large, true},
                    {"load, small image", &small, false},
                    {"load, large image", &large, false}};
    bench::ChildRun run;
    for (Case& c : cases) {
        if (!CliRun(bin, *c.image, c.dryRun, false, run)) {
            return 1;
        }
        c.rssKb = run.maxRssKb;
    }
    const bool haveValgrind = std::system("valgrind --version >/dev/null 2>&1") == 0;
    if (haveValgrind) {
        for (Case& c : cases) {
            if (!CliRun(bin, *c.image, c.dryRun, true, run)) {
                return 1;
            }
            c.allocations = HeapAllocations(run);
        }
    } else {
        std::printf("  valgrind is not installed: no allocation counts\n");
    }
    std::printf("  %-22s %12s %14s\n", "run", "peak RSS KiB", "heap allocs");
    for (const Case& c : cases) {
        std::printf("  %-22s %12ld %14ld\n", c.label, c.rssKb, c.allocations);
    }
    const long rss = cases[3].rssKb;
    const bool rssMet = rss < kGoalRssKb;
    std::printf("RESULT peak_rss: %ld KiB loading the large image (goal < %ld KiB) %s\n", rss,
                kGoalRssKb, rssMet ? "MET" : "NOT MET");
    if (haveValgrind) {
        const bool dryFlat = cases[0].allocations == cases[1].allocations;
        const bool loadFlat = cases[2].allocations == cases[3].allocations;
        std::printf("RESULT heap_allocations: dry run %ld vs %ld, load %ld vs %ld (goal: equal) "
                    "%s\n",
                    cases[0].allocations, cases[1].allocations, cases[2].allocations,
                    cases[3].allocations, dryFlat && loadFlat ? "MET" : "NOT MET");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: %s line|latency|overhead|memory BINDIR IMAGE "
                     "[LOW_IMAGE|LARGE_IMAGE]\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "line") {
        return LineMode(argv[2], argv[3], argc > 4 ? argv[4] : "");
    }
    if (mode == "latency") {
        return LatencyMode(argv[2], argv[3]);
    }
    if (mode == "overhead") {
        return OverheadMode(argv[2], argv[3]);
    }
    if (mode == "memory" && argc > 4) {
        return MemoryMode(argv[2], argv[3], argv[4]);
    }
    std::fprintf(stderr, "%s: unknown mode %s\n", argv[0], mode.c_str());
    return 2;
}
