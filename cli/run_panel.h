#pragma once
// tovik-cli's front panel: turns what the worker shows (a search begins, erasing, progress,
// programming, the end) into run events, with the figures of the run's result, for the sinks that
// subscribe to them. The wait for the start's reply, which the worker does not show, is seen by
// the supervising thread's Follow().

#include "cli/run_events.h"
#include "loader/front_panel.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

class CRunResult;

class CRunPanel : public CFrontPanel {
public:
    // events: kept by the caller for the panel's life. totalBytes: the file's data bytes.
    // firstRate: the rate the first search probes first.
    CRunPanel(RunEventSink* events, uint64_t totalBytes, int firstRate);
    // The run whose figures the events carry; before the run begins.
    void ShowFiguresOf(const CRunResult* result) { m_result = result; }

    void OnSearching(int search) override;
    void SetProgressPos(int position) override;
    void ShowErasing() override;
    void ShowProgramming(int lineCount) override;
    void OnStop() override {}
    void EndRun() override;
    // The boxes the dialogs show here are told from the run's outcome after it; the line is only
    // ended, so that what they follow (the Starting phase, however short) is on the screen.
    void ShowStartReply(int) override { BreakLine(); }
    void ShowWriteFailed(int) override { BreakLine(); }

    // Called by the supervising thread every few milliseconds while the run goes.
    void Follow();
    // Before a message is printed on the console (on any thread).
    void BreakLine();

private:
    // Shows the wait for the start's reply once the run is in it.
    void CatchUp();
    void Phase(const char* phase, int search, int baud);
    void ProgrammingProgress(bool last);

    RunEventSink* const m_events;
    const uint64_t m_totalBytes;
    const int m_firstRate;
    const CRunResult* m_result = nullptr;
    // The phase and its events, in one order for the worker and the supervising thread.
    std::mutex m_mutex;
    std::string m_phase;
    std::chrono::steady_clock::time_point m_programmingStart{};
};
