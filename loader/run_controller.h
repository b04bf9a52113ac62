#pragma once
// The run controller: the worker thread and the whole hand-shake with it, for every front end.
//
// A front end makes one controller with the panel the worker shows on, starts the thread once,
// begins runs and stops them, and ends the thread before it goes. Nothing else writes the thread
// and run flags. Every member is called on the front end's own thread; the worker calls only the
// panel. The panel's calls may need that thread (a window carries them to it), so the waits here
// take a function that serves them while they wait.

#include "loader/run_context.h"

#include <cstdio>
#include <functional>
#include <thread>

class CRunController : public CRunContext {
public:
    using ServeFunction = std::function<void()>;

    explicit CRunController(CFrontPanel* panel);
    // Ends the thread if nobody did (without serving the panel: a window must end it itself,
    // with EndThread, while it can still serve).
    ~CRunController();

    // Starts the worker, once; later calls do nothing.
    void StartThread();
    bool ThreadStarted() const { return m_worker.joinable() || m_bThreadEnded; }

    // Begins a run on file with lineCount lines, at the port of comIndex and the rate of
    // baudIndex: the file, the line count, the selections and the phase are written before the
    // run flag. False, and nothing changes, while a stopped run still holds its link
    // (LinkHeld()) or a run is going.
    bool BeginRun(FILE* file, int lineCount, int comIndex, int baudIndex);
    // Asks the run to stop; the worker notices it after the command in flight. as: the outcome
    // of the run when the worker does not end it first (kNoDevice for a search given up).
    void Stop(RunEnd as = RunEnd::kStopped) {
        m_stopAs = as;
        m_bRun = 0;
    }
    bool Running() const { return m_bRun != 0; }
    // True from a run's first busy turn until the worker has let go of its link.
    bool LinkHeld() const { return m_bLinkHeld; }
    // Waits until no run is wanted and the last one has let go of its link; serve() runs between
    // looks. False when the thread ended first.
    bool WaitLinkReleased(const ServeFunction& serve);

    // Ends the thread and waits for it, looking every stepMs and serving the panel meanwhile.
    // With stopRun the run in progress ends after the command in flight instead of after the
    // whole step it is in.
    void EndThread(bool stopRun, const ServeFunction& serve, int stepMs = 100);
    bool ThreadEnded() const { return !m_worker.joinable(); }

    const CRunResult& Result() const { return m_result; }
    // How the last run ended; valid once the worker has let go of its link (LinkHeld() false,
    // or the thread ended).
    const CRunOutcome& Outcome() const { return m_outcome; }

private:
    std::thread m_worker;
};
