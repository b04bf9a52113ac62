#pragma once
// The console panel that also tells the JSON events (--json) what the run does: the phases as the
// worker shows them, erase and programming progress, and a search that begins again after a
// failed erase, which only the supervising loop can see (Watch).

#include "cli/console_panel.h"
#include "cli/json_events.h"

#include <atomic>
#include <chrono>
#include <mutex>

class CRunController;

class JsonConsolePanel : public CConsolePanel {
public:
    // events: kept by the caller for the panel's life; with events off this is the console panel.
    JsonConsolePanel(FILE* progressOut, bool quiet, bool terminal, uint64_t totalBytes,
                     JsonEvents* events);
    // The run whose figures both the console and the events show; before the run begins.
    void ShowFiguresOf(const CRunResult* result);

    void SetProgressPos(int position) override;
    void ShowErasing() override;
    void ShowProgramming(int lineCount) override;
    void EndRun() override;

    // Called by the supervising thread at each look at the run.
    void Watch(const CRunController& run);

private:
    enum Phase { kNone, kSearching, kErasing, kProgramming, kStarting, kEnded };
    void ProgrammingProgress(bool force);

    JsonEvents* const m_events;
    const uint64_t m_totalBytes;
    const CRunResult* m_result = nullptr;
    // The phase changes and their events, in one order for both threads.
    std::mutex m_phaseMutex;
    std::atomic<int> m_phase{kNone};
    // Probes sent when the phase began: one more means the run is searching again.
    std::atomic<int> m_probesAtPhase{0};
    std::atomic<std::chrono::steady_clock::rep> m_programmingStart{0};
};
