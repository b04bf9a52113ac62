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
    m_position = position;
    Render(false);
}

void CConsolePanel::ShowErasing() {
    m_bDeviceFound = true;
    m_phase = Phase::kErasing;
    m_rangeEnd = 7;
    m_position = 0;
    m_phaseStart = Clock::now();
    Render(true);
}

void CConsolePanel::ShowProgramming() {
    if (m_nLineCount == 0) {
        AfxMessageBox("File contains no data !");
        return;
    }
    m_phase = Phase::kProgramming;
    m_rangeEnd = m_nLineCount;
    m_position = 0;
    m_bytesWritten = 0;
    m_blocksWritten = 0;
    m_phaseStart = Clock::now();
    Render(true);
}

void CConsolePanel::OnStop() {
    m_bRun = 0;
    EndLine();
    m_phase = Phase::kIdle;
}

void CConsolePanel::EndRun() {
    EndLine();
    m_phase = Phase::kIdle;
    CFrontPanel::EndRun();
}

void CConsolePanel::OnProbe(int baudRate) {
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

void CConsolePanel::OnBlockWritten(uint32_t address, int length, int replyCode) {
    if (m_blockList) {
        std::fprintf(m_blockList, "0x%08" PRIX32 " %d\n", address, length);
    }
    if (replyCode == 0) {
        m_bytesWritten += static_cast<uint64_t>(length);
        ++m_blocksWritten;
    } else {
        m_bWriteRefused = true;
    }
}

void CConsolePanel::OnProgramEnd(int result, int startReply) {
    m_nProgramResult = result;
    m_nStartReply = startReply;
    m_bProgramEnded = true;
}

std::string CConsolePanel::Line() const {
    double seconds = std::chrono::duration<double>(Clock::now() - m_phaseStart).count();
    switch (m_phase) {
    case Phase::kSearching:
        return Format("Looking for device ... %d baud  %.0f s", m_probeRate, seconds);
    case Phase::kErasing:
        return Format("Erasing Cluster %d/7", m_position);
    case Phase::kProgramming: {
        // Bytes tell how far the data is better than lines do; a file without data has lines only.
        int percent = m_totalBytes > 0 ? static_cast<int>(100 * m_bytesWritten / m_totalBytes)
                      : m_rangeEnd > 0 ? static_cast<int>(100.0 * m_position / m_rangeEnd)
                                       : 0;
        double rate = seconds > 0.2 ? m_bytesWritten / seconds : 0;
        std::string line = Format("Programming %3d%%  %" PRIu64 "/%" PRIu64 " bytes", percent,
                                  m_bytesWritten, m_totalBytes);
        if (rate > 0) {
            line += Format("  %.1f KiB/s", rate / 1024);
            if (m_totalBytes > m_bytesWritten) {
                line += Format("  %.0f s left", (m_totalBytes - m_bytesWritten) / rate);
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
