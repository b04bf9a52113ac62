#pragma once
// The front panel of tovik-cli: the run's phase and progress on stderr, as one updating line on a
// terminal and as plain lines otherwise. The figures (bytes, blocks, the probing rate) come from
// the run's result, which the loader fills.

#include "loader/front_panel.h"
#include "loader/run_result.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

class CConsolePanel : public CFrontPanel {
public:
    // totalBytes: the file's data bytes, for the percentage, rate and time left while programming.
    CConsolePanel(FILE* progressOut, bool quiet, bool terminal, uint64_t totalBytes);
    // The run whose figures the programming line shows; before the run begins.
    void ShowFiguresOf(const CRunResult* result) { m_result = result; }

    void SetProgressPos(int position) override;
    void ShowErasing() override;
    void ShowProgramming(int lineCount) override;
    void OnStop() override;
    // The finished line stays as it was; only then the position goes back to 0.
    void EndRun() override;

    // Called by the supervising thread while the run searches: shows the rate being probed.
    void ShowSearching(int baudRate);

    // Ends an open progress line so that a message can be printed below it.
    void BreakLine();

private:
    enum class Phase { kIdle, kSearching, kErasing, kProgramming };
    using Clock = std::chrono::steady_clock;

    void Render(bool phaseChanged);
    std::string Line() const;
    void EndLine();

    FILE* m_out;
    const bool m_quiet;
    const bool m_terminal;
    const uint64_t m_totalBytes;
    const CRunResult* m_result = nullptr;

    // The worker and the supervising thread both draw.
    std::recursive_mutex m_mutex;
    Phase m_phase = Phase::kIdle;
    int m_position = 0;
    int m_rangeEnd = 100;
    int m_probeRate = 0;
    Clock::time_point m_phaseStart = Clock::now();
    Clock::time_point m_lastDraw{};
    int m_lastPlainTenth = -1;
    int m_loggedProbeRate = 0;
    bool m_lineOpen = false;
};
