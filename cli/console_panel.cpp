#include "cli/console_panel.h"

#include "platform/message_box.h"

#include <cinttypes>
#include <cstdarg>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

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

void CConsolePanel::SetProgressPos(int position) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    m_position = position;
    Render(false);
}

void CConsolePanel::ShowErasing() {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    m_phase = Phase::kErasing;
    m_rangeEnd = 7;
    m_position = 0;
    m_phaseStart = Clock::now();
    Render(true);
}

void CConsolePanel::ShowProgramming(int lineCount) {
    if (lineCount == 0) {
        AfxMessageBox("File contains no data !");
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    m_phase = Phase::kProgramming;
    m_rangeEnd = lineCount;
    m_position = 0;
    m_phaseStart = Clock::now();
    Render(true);
}

void CConsolePanel::OnStop() {
    // The run flag is the worker's and the controller's; the console only ends its line.
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    EndLine();
    m_phase = Phase::kIdle;
}

void CConsolePanel::EndRun() {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    EndLine();
    m_phase = Phase::kIdle;
    CFrontPanel::EndRun();
}

void CConsolePanel::ShowSearching(int baudRate) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    if (baudRate == 0 || (m_phase != Phase::kIdle && m_phase != Phase::kSearching)) {
        return;
    }
    bool changed = m_phase != Phase::kSearching || baudRate != m_probeRate;
    if (m_phase != Phase::kSearching) {
        m_phaseStart = Clock::now();
    }
    m_phase = Phase::kSearching;
    m_probeRate = baudRate;
    // A plain log gets a line for the first probe at each rate, not for every probe.
    Render(changed && (m_terminal || m_loggedProbeRate != baudRate));
    m_loggedProbeRate = baudRate;
}

void CConsolePanel::BreakLine() {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    EndLine();
}

std::string CConsolePanel::Line() const {
    double seconds = std::chrono::duration<double>(Clock::now() - m_phaseStart).count();
    switch (m_phase) {
    case Phase::kSearching:
        return Format("Looking for device ... %d baud  %.0f s", m_probeRate, seconds);
    case Phase::kErasing:
        return Format("Erasing Cluster %d/7", m_position);
    case Phase::kProgramming: {
        const uint64_t written = m_result ? m_result->m_nBytesWritten.load() : 0;
        // Bytes tell how far the data is better than lines do; a file without data has lines only.
        int percent = m_totalBytes > 0 ? static_cast<int>(100 * written / m_totalBytes)
                      : m_rangeEnd > 0 ? static_cast<int>(100.0 * m_position / m_rangeEnd)
                                       : 0;
        double rate = seconds > 0.2 ? written / seconds : 0;
        std::string line = Format("Programming %3d%%  %" PRIu64 "/%" PRIu64 " bytes", percent,
                                  written, m_totalBytes);
        if (rate > 0) {
            line += Format("  %.1f KiB/s", rate / 1024);
            if (m_totalBytes > written) {
                line += Format("  %.0f s left", (m_totalBytes - written) / rate);
            }
        }
        return line;
    }
    case Phase::kIdle:
        break;
    }
    return std::string();
}

void CConsolePanel::Render(bool phaseChanged) {
    if (m_quiet || m_phase == Phase::kIdle) {
        return;
    }
    Clock::time_point now = Clock::now();
    if (m_terminal) {
        if (!phaseChanged && now - m_lastDraw < kRedrawInterval) {
            return;
        }
        if (phaseChanged && m_lineOpen) {
            std::fputc('\n', m_out);
        }
        std::fprintf(m_out, "\r%s\033[K", Line().c_str());
        m_lineOpen = true;
    } else {
        // A log gets the phase changes, each erased cluster and every tenth of the programming.
        if (m_phase == Phase::kProgramming && !phaseChanged) {
            int tenth = m_rangeEnd > 0 ? 10 * m_position / m_rangeEnd : 0;
            if (tenth == m_lastPlainTenth) {
                return;
            }
            m_lastPlainTenth = tenth;
        } else if (phaseChanged && m_phase == Phase::kProgramming) {
            m_lastPlainTenth = 0;
        } else if (!phaseChanged && m_phase != Phase::kErasing) {
            return;
        }
        std::fprintf(m_out, "%s\n", Line().c_str());
    }
    std::fflush(m_out);
    m_lastDraw = now;
}

void CConsolePanel::EndLine() {
    if (m_lineOpen) {
        std::fprintf(m_out, "\r%s\033[K\n", Line().c_str());
        std::fflush(m_out);
        m_lineOpen = false;
    }
}
