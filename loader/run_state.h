#pragma once
// The run state: the fields a front end's thread and the worker thread share to start, steer and
// stop a run.
//
// Each is read and written without a lock, as one atomic load or store. The front end writes the
// file, the selections and the phase before it raises m_bRun, and sequentially consistent atomics
// make those writes visible to the worker before it sees the flag. Only CRunController and the
// worker write m_bThreadRun, m_bRun and m_bLinkHeld (the display's OnStop clears m_bRun through
// the controller).

#include <atomic>
#include <cstdint>
#include <cstdio>

// The phases of a run, the values of m_nState.
constexpr uint8_t kPhaseSearch = 1;
constexpr uint8_t kPhaseErase = 2;
constexpr uint8_t kPhaseProgram = 3;

class CRunState {
public:
    // In declaration order.
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
    std::atomic<uint8_t> m_nState{kPhaseSearch};
    std::atomic<FILE*> m_pFile{nullptr};
    std::atomic<bool> m_bTry38400{false};
    // Set by the worker before it creates a run's link, and cleared at the first idle turn after
    // it has let go of that link (and so of its port and the file). A new run, or a new file, must
    // wait for that: until then the worker may still be inside the last command of the old run.
    std::atomic<bool> m_bLinkHeld{false};
};
