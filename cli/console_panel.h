#pragma once
// tovik-cli's console display of a run, a sink of its events: the phase and progress on stderr, as
// one updating line on a terminal and as plain lines otherwise. The phases come as events; the
// figures a line shows (the probing rate, bytes written) are read from the run's result, which the
// loader fills, whenever the line is drawn: at each event and at each Follow().
//
// Every line tells the truth when it is left: a terminal line is drawn once more with its final
// figures before the next phase begins, and a log gets each step once (each search, each rate
// probed, each erased cluster, each tenth of the data written, the last one included).

#include "cli/run_events.h"
#include "loader/run_result.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class CConsolePanel : public RunEventSink {
public:
    // totalBytes: the file's data bytes, for the percentage, rate and time left while programming.
    CConsolePanel(FILE* progressOut, bool quiet, bool terminal, uint64_t totalBytes);
    // The run whose figures the panel shows; before the run begins.
    void ShowFiguresOf(const CRunResult* result) { m_result = result; }

    // A new search after a failed erase pass is told with what failed. At the run's end the
    // finished line stays as it was, and nothing of the result is shown any more.
    void Take(const RunEvent& event) override;
    // Redraws what time moves (seconds searched, the last block's bytes).
    void Follow() override;
    // Ends an open progress line so that a message can be printed below it.
    void BreakLine() override;

private:
    enum class Phase { kIdle, kSearching, kErasing, kProgramming, kStarting };
    using Clock = std::chrono::steady_clock;

    void Enter(Phase phase);
    void Draw(bool now);
    // The step a log prints a line for; -1: none (yet).
    int LogStep() const;
    std::string Line() const;
    void EndLine();
    void SayEraseFailed();

    FILE* m_out;
    const bool m_quiet;
    const bool m_terminal;
    const uint64_t m_totalBytes;
    const CRunResult* m_result = nullptr;

    // The worker and the supervising thread both draw.
    std::recursive_mutex m_mutex;
    Phase m_phase = Phase::kIdle;
    int m_position = 0;
    Clock::time_point m_phaseStart = Clock::now();
    Clock::time_point m_lastDraw{};
    bool m_lineOpen = false;
    int m_loggedStep = -1;
    std::vector<int> m_loggedRates; // of the current search
};
