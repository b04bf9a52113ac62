#include "cli/console_panel.h"

#include "loader/loader_worker.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kClusters = 7;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

} // namespace

CConsolePanel::CConsolePanel(FILE* progressOut, bool quiet, bool terminal, uint64_t totalBytes)
    : m_out(progressOut), m_quiet(quiet), m_terminal(terminal), m_totalBytes(totalBytes) {}

void CConsolePanel::Take(const RunEvent& event) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    switch (event.kind) {
    case RunEvent::Kind::kPhase:
        if (event.phase == "searching") {
            if (event.search > 1 && m_result) {
                SayEraseFailed();
            }
            Enter(Phase::kSearching);
        } else if (event.phase == "erasing") {
            Enter(Phase::kErasing);
        } else if (event.phase == "programming") {
            Enter(Phase::kProgramming);
        } else if (event.phase == "starting") {
            Enter(Phase::kStarting);
        }
        break;
    case RunEvent::Kind::kProgress:
        if (event.phase == "erasing") {
            m_position = event.cluster;
        }
        Draw(false);
        break;
    case RunEvent::Kind::kEnded:
        EndLine();
        m_phase = Phase::kIdle;
        m_position = 0;
        break;
    default:
        break;
    }
}

void CConsolePanel::Follow() {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    Draw(false);
}

void CConsolePanel::BreakLine() {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    EndLine();
}

void CConsolePanel::Enter(Phase phase) {
    EndLine();
    m_phase = phase;
    m_position = 0;
    m_phaseStart = Clock::now();
    m_loggedStep = -1;
    m_loggedRates.clear();
    Draw(true);
}

void CConsolePanel::SayEraseFailed() {
    EndLine();
    const int cluster = m_result->m_nFailedCluster;
    const int reply = m_result->m_nFailedEraseReply;
    const int others = m_result->m_nPassEraseFailures - 1;
    std::string text = reply == -1
                           ? Format("erase of cluster %d got no reply within %d s", cluster,
                                    kEraseTimeoutMs / 1000)
                           : Format("erase of cluster %d failed (error %d)", cluster, reply);
    if (others > 0) {
        text += Format(", and of %d more cluster%s", others, others > 1 ? "s" : "");
    }
    std::fprintf(m_out, "tovik-cli: %s: searching again\n", text.c_str());
    std::fflush(m_out);
}

int CConsolePanel::LogStep() const {
    switch (m_phase) {
    case Phase::kSearching: {
        // Each rate once per search: an automatic search alternates rates at every probe.
        const int rate = m_result ? m_result->m_nProbeRate.load() : 0;
        bool logged =
            std::find(m_loggedRates.begin(), m_loggedRates.end(), rate) != m_loggedRates.end();
        return rate > 0 && !logged ? rate : -1;
    }
    case Phase::kErasing:
        return m_position > 0 ? m_position : -1;
    case Phase::kProgramming: {
        const uint64_t written = m_result ? m_result->m_nBytesWritten.load() : 0;
        return m_totalBytes > 0
                   ? static_cast<int>(10 * std::min(written, m_totalBytes) / m_totalBytes)
                   : 0;
    }
    case Phase::kStarting:
        return 0;
    case Phase::kIdle:
        break;
    }
    return -1;
}

std::string CConsolePanel::Line() const {
    const double seconds = std::chrono::duration<double>(Clock::now() - m_phaseStart).count();
    // What only a live line shows: a log line stays as it was printed.
    const std::string elapsed = m_terminal ? Format("  %.0f s", seconds) : std::string();
    switch (m_phase) {
    case Phase::kSearching: {
        const int rate = m_result ? m_result->m_nProbeRate.load() : 0;
        return (rate > 0 ? Format("Looking for device ... %d baud", rate)
                         : std::string("Looking for device ...")) +
               elapsed;
    }
    case Phase::kErasing:
        return Format("Erasing Cluster %d/%d", m_position, kClusters);
    case Phase::kProgramming: {
        const uint64_t written = m_result ? m_result->m_nBytesWritten.load() : 0;
        std::string line = "Programming ";
        if (m_totalBytes > 0) {
            line += Format("%3d%%  ", static_cast<int>(100 * written / m_totalBytes));
        }
        line += Format("%" PRIu64 "/%" PRIu64 " bytes", written, m_totalBytes);
        const double rate = seconds > 0.2 ? written / seconds : 0;
        if (rate > 0) {
            line += Format("  %.1f KiB/s", rate / 1024);
            if (m_totalBytes > written) {
                line += Format("  %.0f s left", (m_totalBytes - written) / rate);
            }
        }
        return line;
    }
    case Phase::kStarting:
        return "Starting device ..." + elapsed;
    case Phase::kIdle:
        break;
    }
    return std::string();
}

void CConsolePanel::Draw(bool now) {
    if (m_quiet || m_phase == Phase::kIdle) {
        return;
    }
    const Clock::time_point time = Clock::now();
    if (m_terminal) {
        if (!now && time - m_lastDraw < kRedrawInterval) {
            return;
        }
        std::fprintf(m_out, "\r%s\033[K", Line().c_str());
        m_lineOpen = true;
    } else {
        const int step = LogStep();
        if (step < 0 || step == m_loggedStep) {
            return;
        }
        m_loggedStep = step;
        if (m_phase == Phase::kSearching) {
            m_loggedRates.push_back(step);
        }
        std::fprintf(m_out, "%s\n", Line().c_str());
    }
    std::fflush(m_out);
    m_lastDraw = time;
}

void CConsolePanel::EndLine() {
    if (m_terminal) {
        if (m_lineOpen) {
            std::fprintf(m_out, "\r%s\033[K\n", Line().c_str());
            std::fflush(m_out);
            m_lineOpen = false;
        }
    } else {
        // The figures the phase ends with, unless the last line printed already has them.
        Draw(true);
    }
}
