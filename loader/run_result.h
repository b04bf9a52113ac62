#pragma once
// What a run did, filled by the worker and the programming pass as the run goes, so that a front
// end can report it (exit codes, summaries, progress figures) without watching every call.
// Cleared when a run begins. Every field is one atomic value: front ends read it while the run
// goes on.

#include <atomic>
#include <cstdint>

class CRunResult {
public:
    // Probes sent in this run, and the rate of the last one.
    std::atomic<int> m_nProbes{0};
    std::atomic<int> m_nProbeRate{0};
    // A probe was answered; the rate that answered (0 until then).
    std::atomic<bool> m_bDeviceFound{false};
    std::atomic<int> m_nAnsweredRate{0};
    // Erase commands of this run that failed (over every pass).
    std::atomic<int> m_nEraseFailures{0};
    // Write blocks the device accepted, and their data bytes.
    std::atomic<int> m_nBlocksWritten{0};
    std::atomic<uint64_t> m_nBytesWritten{0};
    // A write got a reply code other than 0: the pass then ends with that code, which can look
    // like a record result or one of the pass's own results, so this is what tells them apart.
    std::atomic<bool> m_bWriteRefused{false};
    std::atomic<uint32_t> m_nRefusedAddress{0};
    // The programming pass ended; its result (ProgramFile) and the start command's reply code
    // (-1 when it was not sent).
    std::atomic<bool> m_bProgramEnded{false};
    std::atomic<int> m_nProgramResult{0};
    std::atomic<int> m_nStartReply{-1};

    void Clear() {
        m_nProbes = 0;
        m_nProbeRate = 0;
        m_bDeviceFound = false;
        m_nAnsweredRate = 0;
        m_nEraseFailures = 0;
        m_nBlocksWritten = 0;
        m_nBytesWritten = 0;
        m_bWriteRefused = false;
        m_nRefusedAddress = 0;
        m_bProgramEnded = false;
        m_nProgramResult = 0;
        m_nStartReply = -1;
    }
};
