// A production station: tovik-cli --station with four slots, each board a tovik-sim
// --wire-baud 115200 behind a link named as its slot (plugged in: the link made; taken out: the
// link removed), against the same boards loaded one tovik-cli command at a time.
//
//   tovik-bench-station BINDIR IMAGE [ROUNDS]
//
// Every board traces its frames, read and stamped as they come. Figures:
// - from a board's first answered probe to its first erase (the device's own trace);
// - from a board's removal to its slot's "board_gone" event (the station's --json lines);
// - boards per hour: ROUNDS rounds (default 2) of four boards put in together, loaded, taken out
//   together and seen gone, against four boards loaded one command after another. Starting the
//   boards is not counted, nor is the time a person needs to swap them.

#include "bench/timed_run.h"
#include "tests/support/child_process.h"
#include "tests/support/station_event.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBaud = 115200;
constexpr int kSlots = 4;
constexpr double kGoalSeconds = 0.3;
// Far more than a load of the demo image takes; a figure missing after it is a failure.
constexpr double kPatienceSeconds = 120;

double Since(bench::Clock::time_point start) {
    return std::chrono::duration<double>(bench::Clock::now() - start).count();
}

// A child whose lines on one stream are read in a thread of their own, each stamped with the
// moment it was read.
class StampedLines {
public:
    StampedLines(ChildProcess& process, ChildProcess::Stream stream, bench::Clock::time_point start)
        : thread_([this, &process, stream, start] {
              for (std::string line; process.ReadLine(stream, line);) {
                  std::lock_guard<std::mutex> lock(mutex_);
                  lines_.push_back({Since(start), line});
              }
          }) {}
    ~StampedLines() { thread_.join(); }

    // The moment of the first line at or after `from` for which `match` holds; -1: none yet.
    double First(double from, const std::function<bool(const std::string&)>& match) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const bench::StampedLine& line : lines_) {
            if (line.seconds >= from && match(line.text)) {
                return line.seconds;
            }
        }
        return -1;
    }

    // Waits for such a line as long as kPatienceSeconds; -1 when none came.
    double WaitFor(double from, const std::function<bool(const std::string&)>& match) {
        const bench::Clock::time_point until =
            bench::Clock::now() + std::chrono::duration_cast<bench::Clock::duration>(
                                      std::chrono::duration<double>(kPatienceSeconds));
        double at = -1;
        while ((at = First(from, match)) < 0 && bench::Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return at;
    }

private:
    std::mutex mutex_;
    std::vector<bench::StampedLine> lines_;
    std::thread thread_; // last: started once the rest is there
};

// A board: tovik-sim paced like the real line, tracing every frame.
class Board {
public:
    Board(const std::string& bin, bench::Clock::time_point start) {
        std::string line;
        if (process_.Start({bin + "/tovik-sim", "--wire-baud", std::to_string(kBaud), "--trace"},
                           ChildOutput::Pipe(), ChildOutput::Pipe()) &&
            process_.ReadLine(ChildProcess::kOut, line) && line.rfind("READY ", 0) == 0) {
            slave_ = line.substr(6);
        }
        trace_ = std::make_unique<StampedLines>(process_, ChildProcess::kErr, start);
    }
    ~Board() {
        process_.Signal(SIGTERM);
        trace_.reset(); // the trace ends with the process
        process_.WaitForExit();
    }

    const std::string& Slave() const { return slave_; }
    StampedLines& Trace() { return *trace_; }

private:
    ChildProcess process_;
    std::string slave_;
    std::unique_ptr<StampedLines> trace_;
};

// Trace lines hold the frame's bytes in hex: the probe's answer carries ":DOK", an erase "!E".
bool ProbeAnswered(const std::string& line) {
    return line.rfind("tovik-sim tx:", 0) == 0 && line.find(" 3A 44 4F 4B") != std::string::npos;
}
bool EraseHeard(const std::string& line) {
    return line.rfind("tovik-sim rx:", 0) == 0 && line.find(" 21 45 ") != std::string::npos;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Max(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void PrintSeconds(const char* label, const std::vector<double>& values) {
    std::printf("  %-44s", label);
    for (double s : values) {
        std::printf(" %.3f", s);
    }
    std::printf(" s (median %.3f, max %.3f)\n", Median(values), Max(values));
}

struct StationFigures {
    bool ok = false;
    std::vector<double> probeToErase;
    std::vector<double> removalToGone;
    std::vector<double> plugToResult;
    double seconds = 0; // loading and taking out, every round
    int boards = 0;
};

StationFigures RunStation(const std::string& bin, const std::string& image, int rounds) {
    StationFigures figures;
    const std::string folder = "/tmp/tovik-bench-station-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    std::vector<std::string> slots;
    std::vector<std::string> argv{bin + "/tovik-cli", "--station", "--json", "--baud",
                                  std::to_string(kBaud)};
    for (int s = 0; s < kSlots; ++s) {
        slots.push_back(folder + "/slot-" + std::to_string(s));
        argv.insert(argv.end(), {"--port", slots.back()});
    }
    argv.push_back(image);
    const bench::Clock::time_point start = bench::Clock::now();
    ChildProcess station;
    if (!station.Start(argv, ChildOutput::Pipe(), ChildOutput::Discard())) {
        std::fprintf(stderr, "station: tovik-cli did not start\n");
        return figures;
    }
    bool ok = true;
    {
        StampedLines events(station, ChildProcess::kOut, start);
        for (int round = 1; round <= rounds && ok; ++round) {
            std::vector<std::unique_ptr<Board>> boards;
            for (int s = 0; s < kSlots && ok; ++s) {
                boards.push_back(std::make_unique<Board>(bin, start));
                ok = !boards.back()->Slave().empty();
            }
            const double plugged = Since(start);
            for (int s = 0; s < kSlots && ok; ++s) {
                std::filesystem::create_symlink(boards[s]->Slave(), slots[s]);
            }
            for (int s = 0; s < kSlots && ok; ++s) {
                const double result = events.WaitFor(plugged, [&](const std::string& line) {
                    return IsStationEvent(line, "result", slots[s], round);
                });
                ok = result >= 0;
                figures.plugToResult.push_back(result - plugged);
                const double probe = boards[s]->Trace().First(plugged, ProbeAnswered);
                const double erase = boards[s]->Trace().First(plugged, EraseHeard);
                if (ok && (probe < 0 || erase < probe)) {
                    std::fprintf(stderr, "station: no answered probe and erase in %s's trace\n",
                                 boards[s]->Slave().c_str());
                }
                ok = ok && probe >= 0 && erase >= probe;
                figures.probeToErase.push_back(erase - probe);
            }
            const double loaded = Since(start);
            std::vector<double> removed;
            for (int s = 0; s < kSlots && ok; ++s) {
                removed.push_back(Since(start));
                std::filesystem::remove(slots[s]);
            }
            for (int s = 0; s < kSlots && ok; ++s) {
                const double gone = events.WaitFor(removed[s], [&](const std::string& line) {
                    return IsStationEvent(line, "board_gone", slots[s], round);
                });
                ok = gone >= 0;
                figures.removalToGone.push_back(gone - removed[s]);
            }
            figures.seconds += Since(start) - plugged;
            figures.boards += kSlots;
            if (!ok) {
                std::fprintf(stderr, "station: round %d did not complete (%.1f s after loading)\n",
                             round, Since(start) - loaded);
            }
        }
        station.Signal(SIGINT);
        if (!station.Wait(std::chrono::seconds(60)).ended) {
            std::fprintf(stderr, "station: tovik-cli did not end after Ctrl-C\n");
            station.Kill();
            station.WaitForExit();
        }
    }
    std::filesystem::remove_all(folder);
    figures.ok = ok;
    return figures;
}

// The same number of slots' boards loaded by one tovik-cli command each, one after another.
double RunOneAtATime(const std::string& bin, const std::string& image) {
    double seconds = 0;
    for (int s = 0; s < kSlots; ++s) {
        const Board board(bin, bench::Clock::now());
        if (board.Slave().empty()) {
            return -1;
        }
        const bench::ChildRun run =
            bench::RunTimed({bin + "/tovik-cli", "--baud", std::to_string(kBaud), "-q", "--port",
                             board.Slave(), image});
        if (run.exitCode != 0) {
            std::fprintf(stderr, "station: tovik-cli exited with %d\n", run.exitCode);
            return -1;
        }
        seconds += run.seconds;
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BINDIR IMAGE [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string bin = argv[1], image = argv[2];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
    std::printf("== station: tovik-cli --station --baud %d with %d slots, %d rounds; each board a "
                "tovik-sim --wire-baud %d behind a link\n",
                kBaud, kSlots, rounds, kBaud);
    std::printf("   goal: first answered probe to first erase, and removal to board_gone, each "
                "< %.1f s\n",
                kGoalSeconds);
    const StationFigures station = RunStation(bin, image, rounds);
    if (!station.ok) {
        return 1;
    }
    const double single = RunOneAtATime(bin, image);
    if (single < 0) {
        return 1;
    }
    PrintSeconds("first answered probe to first erase:", station.probeToErase);
    PrintSeconds("link removed to board_gone:", station.removalToGone);
    PrintSeconds("link made to result:", station.plugToResult);
    const double stationPerHour = station.boards / station.seconds * 3600;
    const double singlePerHour = kSlots / single * 3600;
    std::printf("  station: %d boards in %.3f s of loading and taking out: %.0f boards per hour\n",
                station.boards, station.seconds, stationPerHour);
    std::printf("  one command at a time: %d boards in %.3f s: %.0f boards per hour\n", kSlots,
                single, singlePerHour);
    const bool met =
        Max(station.probeToErase) < kGoalSeconds && Max(station.removalToGone) < kGoalSeconds;
    std::printf("RESULT station: probe to erase max %.3f s, removal to board_gone max %.3f s (goal "
                "< %.1f) %s; %.0f boards/h on %d slots against %.0f boards/h one command at a "
                "time (%.2fx)\n",
                Max(station.probeToErase), Max(station.removalToGone), kGoalSeconds,
                met ? "MET" : "NOT MET", stationPerHour, kSlots, singlePerHour,
                stationPerHour / singlePerHour);
    return 0;
}
