#pragma once
// The display of a load into several ports: one line per port with its phase, percent, rate and
// time left, made from the events its child sends. On a terminal the lines are redrawn in place
// and messages are printed above them; in a log a port's line is printed when its phase changes,
// at each tenth of the programming and at its end.

#include "cli/run_events.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct PortState {
    std::string port;
    std::string phase = "starting";
    int percent = -1;        // -1: none in this phase
    double rate = 0;         // bytes/s while programming
    double secondsLeft = -1; // -1: not known
    bool ended = false;      // a result came
    int exitCode = -1;
    std::string message; // the result's
    // The furthest the load came (searching, erasing, programming, starting; empty before the
    // search), and the last figures told: what the parent reports when a child ends without its
    // result.
    std::string reached;
    int baud = 0; // the rate that answered
    uint64_t bytes = 0;
    int blocks = 0;
    int warnings = 0; // the warning events heard

    // A station's slot: its line shows the board on it and the slot's counts, and a result does
    // not end it.
    bool station = false;
    int board = 0;       // the board the slot is at (from 1)
    bool inLoad = false; // a board's load began (its first erase) and has no result yet
    int passed = 0;      // boards that ended with 0
    int failed = 0;      // with another code, but for
    int stopped = 0;     // those an interrupt cut short (kExitInterrupted)
};

// Counts a station's board that ended with exitCode, and shows the slot waiting for it to be
// taken out.
void CountBoard(PortState* state, int exitCode, const std::string& message);

// Takes one event of the port's child into state. True when the change is worth a line in a log.
bool ApplyEvent(const RunEvent& event, PortState* state);

// The port's line, the port name in a column portWidth wide (longer names lose their beginning).
std::string PortLine(const PortState& state, size_t portWidth);

class PortBoard {
public:
    // states: the ports, kept by the caller; the board shows them in this order. quiet: messages
    // only, no lines.
    PortBoard(FILE* out, bool terminal, bool quiet, const std::vector<PortState>* states);

    // state[index] changed; notable as ApplyEvent said.
    void Changed(size_t index, bool notable);
    // On a terminal, draws a change that came too soon after the last drawing; call it often.
    void Refresh();
    // A message, on a line of its own above the board.
    void Note(const std::string& text);
    // The lines as they end.
    void Finish();
    // A line below the ports' (a station's total): on a terminal it is drawn with them; in a log
    // ShowTotal() prints it.
    void SetTotal(std::function<std::string()> total) { m_total = std::move(total); }
    void ShowTotal();

private:
    void Draw(bool force);
    void Erase();
    size_t Width() const;

    FILE* const m_out;
    const bool m_terminal;
    const bool m_quiet;
    const std::vector<PortState>* const m_states;
    size_t m_drawnLines = 0; // on the terminal, below the cursor's line start
    bool m_dirty = false;    // a change not drawn yet
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::function<std::string()> m_total;
};
