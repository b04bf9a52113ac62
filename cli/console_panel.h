#pragma once
// The front panel of tovik-cli: the run's phase and progress on stderr, as one updating line on a
// terminal and as plain lines otherwise. The phase and the figures (searches, the probing rate,
// bytes written, the wait for the start) come from the run's result, which the loader fills; the
// worker's display calls and the supervising thread's Follow() both bring the display up to it.
//
// Every line tells the truth when it is left: a terminal line is drawn once more with its final
// figures before the next phase begins, and a log gets each step once (each search, each rate
// probed, each erased cluster, each tenth of the data written, the last one included).

#include "loader/front_panel.h"
#include "loader/run_result.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class CConsolePanel : public CFrontPanel {
public:
    // totalBytes: the file's data bytes, for the percentage, rate and time left while programming.
    CConsolePanel(FILE* progressOut, bool quiet, bool terminal, uint64_t totalBytes);
    // The run whose figures the panel shows; before the run begins.
    void ShowFiguresOf(const CRunResult* result) { m_result = result; }

    void SetProgressPos(int position) override;
    void ShowErasing() override;
    void ShowProgramming(int lineCount) override;
    void OnStop() override;
    // The finished line stays as it was; only then the position goes back to 0. The panel shows
    // one run: after this, nothing of the result is shown any more.
    void EndRun() override;

    // Called by the supervising thread every few milliseconds while the run goes: catches up with
    // the run's result and redraws what time moves (seconds searched, the last block's bytes).
    void Follow();

    // Ends an open progress line so that a message can be printed below it.
    void BreakLine();

private:
    enum class Phase { kIdle, kSearching, kErasing, kProgramming, kStarting };
    using Clock = std::chrono::steady_clock;

    void Sync();
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
    bool m_runEnded = false;
    int m_searches = 0; // the result's search count when last looked at
    int m_position = 0;
    Clock::time_point m_phaseStart = Clock::now();
    Clock::time_point m_lastDraw{};
    bool m_lineOpen = false;
    int m_loggedStep = -1;
    std::vector<int> m_loggedRates; // of the current search
};
