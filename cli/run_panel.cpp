#include "cli/run_panel.h"

#include "loader/run_result.h"
#include "platform/message_box.h"

namespace {

// The erase pass runs over clusters 1 to 7.
constexpr int kClusters = 7;

} // namespace

CRunPanel::CRunPanel(RunEventSink* events, uint64_t totalBytes, int firstRate)
    : m_events(events), m_totalBytes(totalBytes), m_firstRate(firstRate) {}

void CRunPanel::Phase(const char* phase, int search, int baud) {
    m_phase = phase;
    RunEvent event(RunEvent::Kind::kPhase);
    event.phase = phase;
    event.search = search;
    event.baud = baud;
    m_events->Take(event);
}

void CRunPanel::OnSearching(int search) {
    std::lock_guard<std::mutex> guard(m_mutex);
    // A search again begins where the last one found the device: at the rate that answered.
    const int probed = m_result ? m_result->m_nProbeRate.load() : 0;
    Phase("searching", search, search > 1 && probed > 0 ? probed : m_firstRate);
}

void CRunPanel::ShowErasing() {
    std::lock_guard<std::mutex> guard(m_mutex);
    Phase("erasing", 0, m_result ? m_result->m_nAnsweredRate.load() : 0);
}

void CRunPanel::ShowProgramming(int lineCount) {
    if (lineCount == 0) {
        AfxMessageBox("File contains no data !");
        return;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_programmingStart = std::chrono::steady_clock::now();
    Phase("programming", 0, 0);
}

void CRunPanel::SetProgressPos(int position) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_phase == "erasing" && position > 0) {
        RunEvent event(RunEvent::Kind::kProgress);
        event.phase = m_phase;
        event.cluster = position;
        event.clusters = kClusters;
        event.percent = 100 * position / kClusters;
        m_events->Take(event);
    } else if (m_phase == "programming") {
        ProgrammingProgress(false);
    }
}

void CRunPanel::EndRun() {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_phase == "programming") {
        ProgrammingProgress(true);
    }
    m_phase.clear();
    m_events->Take(RunEvent(RunEvent::Kind::kEnded));
}

void CRunPanel::CatchUp() {
    std::lock_guard<std::mutex> guard(m_mutex);
    // All data is written; the start command waits for its reply (up to a minute).
    if (m_result && m_phase == "programming" && m_result->m_nActivity == kActivityStarting) {
        ProgrammingProgress(true);
        Phase("starting", 0, 0);
    }
}

void CRunPanel::Follow() {
    CatchUp();
    m_events->Follow();
}

void CRunPanel::BreakLine() {
    // What the message follows must be shown first (the start it reports, say).
    CatchUp();
    m_events->BreakLine();
}

void CRunPanel::ProgrammingProgress(bool last) {
    if (!m_result) {
        return;
    }
    RunEvent event(RunEvent::Kind::kProgress);
    event.phase = m_phase;
    event.last = last;
    event.bytes = m_result->m_nBytesWritten;
    event.bytesTotal = m_totalBytes;
    event.blocks = m_result->m_nBlocksWritten;
    event.percent = m_totalBytes > 0 ? static_cast<int>(100 * event.bytes / m_totalBytes) : 0;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_programmingStart)
            .count();
    event.rate = seconds > 0.2 ? event.bytes / seconds : 0;
    if (event.rate > 0 && m_totalBytes >= event.bytes) {
        event.secondsLeft = (m_totalBytes - event.bytes) / event.rate;
    }
    m_events->Take(event);
}
