#pragma once
// Where the loader meets its front end: the run state and the front panel.
//
// The run state is a handful of fields that the front end's thread and the worker thread both
// read and write without a lock, each as one atomic load or store. The front end writes the file,
// the selections and the phase before it raises m_bRun, and sequentially consistent atomics make
// those writes visible to the worker before it sees the flag.
//
// The front panel is the few display operations the worker calls on its own thread. A front end
// that owns windows carries each call to its own thread and returns only when it has taken effect.
// Nothing else of a front end is known to the loader.

#include <atomic>
#include <cstdint>
#include <cstdio>

class CFrontPanel {
public:
    virtual ~CFrontPanel() = default;

    // Run state, in declaration order.
    std::atomic<int> m_nBaudIndex{1}; // 0 AUTO, 1 38400, 2 57600, 3 115200, -1 none
    std::atomic<int> m_nLineCount{1}; // lines of the held file (CountLines)
    std::atomic<bool> m_bThreadRun{false};
    std::atomic<bool> m_bThreadEnded{false};
    std::atomic<int> m_bRun{0};      // a run is wanted
    std::atomic<int> m_nComIndex{0}; // 0 COM1 ... 8 COM9, -1 none
    std::atomic<uint8_t> m_nEraseErrors{0};
    std::atomic<uint8_t> m_nFirstCluster{1};
    std::atomic<uint8_t> m_nEndCluster{8};
    std::atomic<uint8_t> m_nMaxCluster{8};
    std::atomic<uint8_t> m_nState{1}; // 1 search, 2 erase, 3 program
    std::atomic<FILE*> m_pFile{nullptr};
    std::atomic<bool> m_bTry38400{false};
    // Set by the worker from the first busy turn of a run until it has let go of the run's link
    // (and so of its port and the held file) at the next idle turn. A new run, or a new file, must
    // wait for that: until then the worker may still be inside the last command of the old run.
    std::atomic<bool> m_bLinkHeld{false};

    // Display operations the worker calls.
    virtual void SetProgressPos(int position) = 0;
    // Animation hidden, status "Erasing Cluster", progress range 1 to 7.
    virtual void ShowErasing() = 0;
    // Status "Programming ", progress range 1 to m_nLineCount (a box instead when it is 0).
    virtual void ShowProgramming() = 0;
    // The idle display; clears m_bRun. Also what the Stop button does.
    virtual void OnStop() = 0;
    // Progress position 0, then OnStop().
    virtual void EndRun();

    // Observations for front ends that report more than the dialog shows; they do nothing unless
    // a front end overrides them. Called on the worker's thread.
    // A probe is about to go out at this rate.
    virtual void OnProbe(int /*baudRate*/) {}
    // A write block went out (or, without sending, would have) and got this reply code.
    virtual void OnBlockWritten(uint32_t /*address*/, int /*length*/, int /*replyCode*/) {}
    // The programming pass ended with this result; startReply is the start command's reply code
    // (-1 when it was not sent).
    virtual void OnProgramEnd(int /*result*/, int /*startReply*/) {}
    // The worker has ended a run and let go of its link (m_bLinkHeld is clear again).
    virtual void OnRunWoundDown() {}
};

// The progress function of the programming pass: moves the panel's progress bar.
int UpdateProgress(CFrontPanel* panel, int position);
