#pragma once
// What a run did, filled by the worker and the programming pass as the run goes, so that a front
// end can report it (exit codes, summaries, progress figures) without watching every call.
// Cleared when a run begins. Every field is one atomic value: front ends read it while the run
// goes on.

#include <atomic>
#include <cstdint>

// What a run is doing at the moment, the values of CRunResult::m_nActivity.
constexpr int kActivityIdle = 0;        // no link yet, or the run is over
constexpr int kActivitySearching = 1;   // probing for the device
constexpr int kActivityErasing = 2;     // an erase pass
constexpr int kActivityProgramming = 3; // the programming pass, up to its last write
constexpr int kActivityStarting = 4;    // waiting for the reply to the start command

class CRunResult {
public:
    // Set by the worker as the run goes from one activity to the next.
    std::atomic<int> m_nActivity{kActivityIdle};
    // Searches begun in this run: the first one, and one after every erase pass that failed.
    // Counted after the failed pass's figures below are in place.
    std::atomic<int> m_nSearches{0};
    // Probes sent in this run, and the rate of the last one.
    std::atomic<int> m_nProbes{0};
    std::atomic<int> m_nProbeRate{0};
    // A probe was answered; the rate that answered (0 until then).
    std::atomic<bool> m_bDeviceFound{false};
    std::atomic<int> m_nAnsweredRate{0};
    // Replies that came after their command had timed out, as the link counted them: a device
    // that answers too slowly (an adapter holding bytes back) rather than none at all.
    std::atomic<int> m_nLateReplies{0};
    // Erase commands of this run that failed (over every pass).
    std::atomic<int> m_nEraseFailures{0};
    // The last failed erase pass: how many of its erase commands failed, and the first of them,
    // its cluster and reply code (-1: no reply).
    std::atomic<int> m_nPassEraseFailures{0};
    std::atomic<int> m_nFailedCluster{0};
    std::atomic<int> m_nFailedEraseReply{0};
    // Write blocks the device accepted, and their data bytes.
    std::atomic<int> m_nBlocksWritten{0};
    std::atomic<uint64_t> m_nBytesWritten{0};
    // A write got a reply code other than 0: the pass then ends with that code, which can look
    // like a record result or one of the pass's own results, so this is what tells them apart.
    std::atomic<bool> m_bWriteRefused{false};
    std::atomic<uint32_t> m_nRefusedAddress{0};
    std::atomic<int> m_nRefusedLength{0};
    // That write never reached the line: its frame could not be handed over in time.
    std::atomic<bool> m_bWriteNotSent{false};
    // The programming pass ended; its result (ProgramFile) and the start command's reply code
    // (-1 when it was not sent).
    std::atomic<bool> m_bProgramEnded{false};
    std::atomic<int> m_nProgramResult{0};
    std::atomic<int> m_nStartReply{-1};
    // The wait for the start command's reply was given up because the run was stopped
    // (CRunContext::m_bStopAbandonsStart); all data had been written.
    std::atomic<bool> m_bStartAbandoned{false};

    void Clear() {
        m_nActivity = kActivityIdle;
        m_nSearches = 0;
        m_nProbes = 0;
        m_nProbeRate = 0;
        m_bDeviceFound = false;
        m_nAnsweredRate = 0;
        m_nLateReplies = 0;
        m_nEraseFailures = 0;
        m_nPassEraseFailures = 0;
        m_nFailedCluster = 0;
        m_nFailedEraseReply = 0;
        m_nBlocksWritten = 0;
        m_nBytesWritten = 0;
        m_bWriteRefused = false;
        m_nRefusedAddress = 0;
        m_nRefusedLength = 0;
        m_bWriteNotSent = false;
        m_bProgramEnded = false;
        m_nProgramResult = 0;
        m_nStartReply = -1;
        m_bStartAbandoned = false;
    }
};
