#include "cli/port_board.h"

#include "cli/exit_codes.h"
#include "cli/user_messages.h"
#include "platform/terminal_width.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// by-id names run to 60 characters and differ near their end.
constexpr size_t kPortColumnLimit = 32;

} // namespace

void CountBoard(PortState* state, int exitCode, const std::string& message) {
    state->inLoad = false;
    state->percent = -1;
    if (exitCode == 0) {
        ++state->passed;
        state->phase = "passed: remove the board";
    } else if (exitCode == kExitInterrupted) {
        ++state->stopped;
        state->phase = "stopped: " + OnOneLine(message);
    } else {
        ++state->failed;
        state->phase = "FAILED: " + OnOneLine(message) + ": remove the board";
    }
    // The next board's figures begin anew.
    state->reached.clear();
    state->bytes = 0;
    state->blocks = 0;
    state->baud = 0;
}

bool ApplyEvent(const RunEvent& event, PortState* state) {
    if (event.board > 0) {
        state->board = event.board;
    }
    switch (event.kind) {
    case RunEvent::Kind::kWaiting:
        state->phase = state->station ? "waiting for a board" : "waiting for the port";
        state->percent = -1;
        return true;
    case RunEvent::Kind::kBoardGone:
        state->phase = "searching";
        return true;
    case RunEvent::Kind::kWarning:
        ++state->warnings;
        return false;
    case RunEvent::Kind::kPhase: {
        const std::string phase = event.phase.empty() ? state->phase : event.phase;
        static const char* const kOrder[] = {"searching", "erasing", "programming", "starting"};
        const auto rank = [](const std::string& p) {
            const auto at = std::find(std::begin(kOrder), std::end(kOrder), p);
            return at == std::end(kOrder) ? -1 : static_cast<int>(at - std::begin(kOrder));
        };
        if (rank(phase) > rank(state->reached)) {
            state->reached = phase;
        }
        if (phase == "erasing" && event.baud > 0) {
            state->baud = event.baud;
        }
        state->inLoad |= state->station && phase == "erasing";
        const bool changed = phase != state->phase;
        state->phase = phase;
        state->percent = -1;
        state->rate = 0;
        state->secondsLeft = -1;
        return changed;
    }
    case RunEvent::Kind::kProgress: {
        const int tenth = state->percent / 10;
        if (event.percent >= 0) {
            state->percent = event.percent;
        }
        state->rate = event.rate;
        state->secondsLeft = event.secondsLeft;
        if (event.phase == "programming") {
            state->bytes = event.bytes;
            state->blocks = event.blocks;
        }
        return state->phase == "programming" && state->percent / 10 != tenth;
    }
    case RunEvent::Kind::kResult:
        if (state->station) {
            CountBoard(state, event.exitCode, event.message);
            return true;
        }
        state->ended = true;
        state->exitCode = event.exitCode;
        state->message = event.message;
        return true;
    default:
        return false;
    }
}

std::string PortLine(const PortState& state, size_t portWidth) {
    std::string port = state.port;
    if (port.size() > portWidth && portWidth > 3) {
        port = "..." + port.substr(port.size() - (portWidth - 3));
    }
    port.resize(std::max(portWidth, port.size()), ' ');
    char figures[128] = "";
    if (state.ended && !state.station) {
        // The messages came above the board as the child told them; the summary repeats them.
        return port + "  " +
               (state.exitCode == 0 ? "done"
                                    : "failed (exit " + std::to_string(state.exitCode) + ")");
    }
    if (state.percent >= 0) {
        int length = std::snprintf(figures, sizeof figures, "  %3d%%", state.percent);
        if (state.rate > 0) {
            length += std::snprintf(figures + length, sizeof figures - length, "  %.1f KiB/s",
                                    state.rate / 1024);
        }
        if (state.secondsLeft >= 0) {
            std::snprintf(figures + length, sizeof figures - length, "  %.0f s left",
                          std::ceil(state.secondsLeft));
        }
    }
    std::string phase = state.phase;
    phase.resize(std::max<size_t>(phase.size(), 11), ' ');
    if (state.station) {
        // The counts before the state, whose length varies with a failure's reason.
        char slot[96];
        std::snprintf(slot, sizeof slot, "  board %-3d  passed %-3d  failed %-3d", state.board,
                      state.passed, state.failed + state.stopped);
        return port + slot + "  " + phase + figures;
    }
    return port + "  " + phase + figures;
}

PortBoard::PortBoard(FILE* out, bool terminal, bool quiet, const std::vector<PortState>* states)
    : m_out(out), m_terminal(terminal), m_quiet(quiet), m_states(states) {}

size_t PortBoard::Width() const {
    size_t width = 0;
    for (const PortState& s : *m_states) {
        width = std::max(width, s.port.size());
    }
    return std::min(width, kPortColumnLimit);
}

void PortBoard::Changed(size_t index, bool notable) {
    if (m_quiet) {
        return;
    }
    if (m_terminal) {
        Draw(false);
    } else if (notable) {
        std::fprintf(m_out, "%s\n", PortLine((*m_states)[index], Width()).c_str());
        std::fflush(m_out);
    }
}

void PortBoard::Refresh() {
    if (m_terminal && !m_quiet && m_dirty) {
        Draw(false);
    }
}

void PortBoard::Note(const std::string& text) {
    if (m_terminal && !m_quiet) {
        Erase();
        std::fprintf(m_out, "%s\n", text.c_str());
        Draw(true);
    } else {
        std::fprintf(m_out, "%s\n", text.c_str());
        std::fflush(m_out);
    }
}

void PortBoard::ShowTotal() {
    if (!m_terminal && !m_quiet && m_total) {
        std::fprintf(m_out, "%s\n", m_total().c_str());
        std::fflush(m_out);
    }
}

void PortBoard::Finish() {
    if (m_terminal && !m_quiet) {
        Draw(true);
    }
}

void PortBoard::Erase() {
    if (m_drawnLines > 0) {
        // Up to the first line of the board and clear from there to the end of the screen.
        std::fprintf(m_out, "\033[%zuA\r\033[J", m_drawnLines);
        m_drawnLines = 0;
    }
}

void PortBoard::Draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_drawnLines > 0 && now - m_lastDraw < kRedrawInterval) {
        m_dirty = true;
        return;
    }
    m_lastDraw = now;
    m_dirty = false;
    // A line as wide as the terminal would wrap (or leave the cursor in the last column) and
    // throw the cursor moves off.
    const size_t columns = static_cast<size_t>(std::max(TerminalColumns(m_out) - 1, 20));
    std::string text;
    if (m_drawnLines > 0) {
        text += "\033[" + std::to_string(m_drawnLines) + "A";
    }
    for (const PortState& state : *m_states) {
        std::string line = PortLine(state, Width());
        if (line.size() > columns) {
            line.resize(columns);
        }
        text += "\r" + line + "\033[K\n";
    }
    if (m_total) {
        std::string line = m_total();
        if (line.size() > columns) {
            line.resize(columns);
        }
        text += "\r" + line + "\033[K\n";
    }
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
    m_drawnLines = m_states->size() + (m_total ? 1 : 0);
}
