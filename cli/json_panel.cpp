#include "cli/json_panel.h"

#include "loader/baud_rates.h"
#include "loader/run_controller.h"

namespace {

// The erase progress runs over clusters 1 to 7.
constexpr int kClusters = 7;

using SteadyClock = std::chrono::steady_clock;

} // namespace

JsonConsolePanel::JsonConsolePanel(FILE* progressOut, bool quiet, bool terminal,
                                   uint64_t totalBytes, JsonEvents* events)
    : CConsolePanel(progressOut, quiet, terminal, totalBytes), m_events(events),
      m_totalBytes(totalBytes) {}

void JsonConsolePanel::ShowFiguresOf(const CRunResult* result) {
    CConsolePanel::ShowFiguresOf(result);
    m_result = result;
}

void JsonConsolePanel::SetProgressPos(int position) {
    CConsolePanel::SetProgressPos(position);
    if (m_phase == kErasing && position > 0) {
        m_events->ErasingProgress(position, kClusters);
    } else if (m_phase == kProgramming) {
        ProgrammingProgress(false);
    }
}

void JsonConsolePanel::ShowErasing() {
    CConsolePanel::ShowErasing();
    std::lock_guard<std::mutex> guard(m_phaseMutex);
    if (m_phase == kNone) {
        // Found before the supervising loop first looked.
        m_events->Phase("searching", m_result ? m_result->m_nProbeRate.load() : 0);
    }
    m_probesAtPhase = m_result ? m_result->m_nProbes.load() : 0;
    m_phase = kErasing;
    m_events->Phase("erasing", m_result ? m_result->m_nAnsweredRate.load() : 0);
}

void JsonConsolePanel::ShowProgramming(int lineCount) {
    CConsolePanel::ShowProgramming(lineCount);
    if (lineCount == 0) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_phaseMutex);
    m_programmingStart = SteadyClock::now().time_since_epoch().count();
    m_phase = kProgramming;
    m_events->Phase("programming", 0);
}

void JsonConsolePanel::EndRun() {
    {
        std::lock_guard<std::mutex> guard(m_phaseMutex);
        if (m_phase == kProgramming) {
            ProgrammingProgress(true);
        }
        m_phase = kEnded;
    }
    CConsolePanel::EndRun();
}

void JsonConsolePanel::Watch(const CRunController& run) {
    if (!m_result || !run.Running()) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_phaseMutex);
    // The first look comes before the worker may have probed (and a device that answers at once
    // is erasing before the next look); later, a probe sent after the phase began means a failed
    // erase sent the run back to searching.
    if (m_phase == kNone) {
        m_phase = kSearching;
        m_events->Phase("searching", StartBaudRate(run.m_nBaudIndex));
        return;
    }
    // All data is written; the start command waits for its reply (up to a minute).
    if (m_phase == kProgramming && m_result->m_nActivity == kActivityStarting) {
        ProgrammingProgress(true);
        m_phase = kStarting;
        m_events->Phase("starting", 0);
        return;
    }
    const int probes = m_result->m_nProbes;
    if ((m_phase == kErasing || m_phase == kProgramming) && probes > m_probesAtPhase) {
        m_probesAtPhase = probes;
        m_phase = kSearching;
        m_events->Phase("searching", m_result->m_nProbeRate);
    }
}

void JsonConsolePanel::ProgrammingProgress(bool force) {
    if (!m_result || !m_events->ProgressDue(force)) {
        return;
    }
    const uint64_t bytes = m_result->m_nBytesWritten;
    const double seconds =
        std::chrono::duration<double>(
            SteadyClock::now() - SteadyClock::time_point(SteadyClock::duration(m_programmingStart)))
            .count();
    m_events->ProgrammingProgress(bytes, m_totalBytes, m_result->m_nBlocksWritten,
                                  seconds > 0.2 ? bytes / seconds : 0);
}
