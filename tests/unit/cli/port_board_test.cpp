// The board of several loads, fed the events their children send: in a log a port gets a line at
// each phase and tenth and at its end; on a terminal (a small screen model that follows the
// cursor moves) the board stays one line per port below every message, however often it is drawn.

#include "cli/json_events.h"
#include "cli/port_board.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

RunEvent Event(const std::string& line) {
    RunEvent event;
    EXPECT_TRUE(ReadRunEvent(line, &event)) << line;
    return event;
}

// The events of one port's load, as a child sends them (less the members the board ignores).
const char* const kLoad[] = {
    R"({"event":"begin"})",
    R"({"event":"phase","phase":"searching","baud":115200})",
    R"({"event":"phase","phase":"erasing","baud":115200})",
    R"({"event":"progress","phase":"erasing","percent":42})",
    R"({"event":"phase","phase":"programming"})",
    R"({"event":"progress","phase":"programming","percent":0,"rate":0,"seconds_left":null})",
    R"({"event":"progress","phase":"programming","percent":5,"rate":10240,"seconds_left":6.2})",
    R"({"event":"progress","phase":"programming","percent":8,"rate":10240,"seconds_left":5.9})",
    R"({"event":"progress","phase":"programming","percent":13,"rate":10240,"seconds_left":5.5})",
    R"({"event":"progress","phase":"programming","percent":100,"rate":10240,"seconds_left":0})",
    R"({"event":"result","exit_code":0,"message":"Transmission complete.\nDevice started."})",
};

TEST(PortLine, ShowsPhaseFiguresAndEnd) {
    PortState state;
    state.port = "/dev/ttyUSB0";
    std::vector<std::string> lines;
    for (const char* e : kLoad) {
        ApplyEvent(Event(e), &state);
        lines.push_back(PortLine(state, 14));
    }
    EXPECT_EQ(lines[3], "/dev/ttyUSB0    erasing       42%");
    EXPECT_EQ(lines[6], "/dev/ttyUSB0    programming    5%  10.0 KiB/s  7 s left");
    EXPECT_EQ(state.message, "Transmission complete.\nDevice started.");

    ApplyEvent(Event(R"({"event":"result","exit_code":6,"message":"refused"})"), &state);
    EXPECT_EQ(PortLine(state, 11), ".../ttyUSB0  failed (exit 6)") << "a long name keeps its end";
    state = PortState();
    state.port = "COM3";
    ApplyEvent(Event(R"({"event":"waiting","path":"\\\\.\\COM3"})"), &state);
    EXPECT_EQ(PortLine(state, 4), "COM3  waiting for the port");
}

// Two ports' loads, interleaved, with a message from the second in the middle; what the board
// wrote.
std::string Board(bool terminal, bool station = false) {
    const ScratchDir scratch;
    const std::string path = scratch / (terminal ? "board-terminal" : "board-log");
    FILE* out = std::fopen(path.c_str(), "wb");
    EXPECT_NE(out, nullptr);
    std::vector<PortState> states(2);
    states[0].port = "A";
    states[1].port = "B";
    states[0].station = states[1].station = station;
    {
        PortBoard board(out, terminal, false, &states);
        if (station) {
            board.SetTotal([] { return std::string("total"); });
        }
        for (size_t i = 0; i < std::size(kLoad); ++i) {
            for (size_t port = 0; port < 2; ++port) {
                board.Changed(port, ApplyEvent(Event(kLoad[i]), &states[port]));
            }
            if (i == 3) {
                board.Note("B: the erase of cluster 3 failed");
            }
        }
        board.Finish();
    }
    std::fclose(out);
    return ReadText(path);
}

TEST(PortBoard, InALogALinePerPhaseTenthAndEnd) {
    const std::string text = Board(false);
    std::string expected;
    for (const char* line : {"A  searching  ", "B  searching  ", "A  erasing    ", "B  erasing    ",
                             "B: the erase of cluster 3 failed", "A  programming", "B  programming",
                             "A  programming   13%  10.0 KiB/s  6 s left",
                             "B  programming   13%  10.0 KiB/s  6 s left",
                             "A  programming  100%  10.0 KiB/s  0 s left",
                             "B  programming  100%  10.0 KiB/s  0 s left", "A  done", "B  done"}) {
        expected += std::string(line) + "\n";
    }
    EXPECT_EQ(text, expected);
}

// The screen a terminal would show after the text: \r, \n, ESC[nA (up), ESC[K (clear to the end
// of the line) and ESC[J (clear to the end of the screen), nothing else.
std::vector<std::string> Screen(const std::string& text) {
    std::vector<std::string> rows(1);
    size_t row = 0, column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            column = 0;
            if (++row == rows.size()) {
                rows.emplace_back();
            }
        } else if (c == '\033') {
            EXPECT_EQ(text[++i], '[');
            size_t n = 0;
            while (std::isdigit(static_cast<unsigned char>(text[++i]))) {
                n = 10 * n + static_cast<size_t>(text[i] - '0');
            }
            if (text[i] == 'A') {
                EXPECT_LE(n, row) << "moved above the first line";
                row -= std::min(n, row);
            } else if (text[i] == 'K') {
                rows[row].resize(std::min(rows[row].size(), column));
            } else if (text[i] == 'J') {
                rows[row].resize(std::min(rows[row].size(), column));
                rows.resize(row + 1);
            } else {
                ADD_FAILURE() << "unexpected escape " << text[i];
            }
        } else {
            rows[row].resize(std::max(rows[row].size(), column + 1), ' ');
            rows[row][column++] = c;
        }
    }
    return rows;
}

TEST(PortBoard, OnATerminalTheLinesStayBelowTheMessages) {
    const std::vector<std::string> screen = Screen(Board(true));
    EXPECT_EQ(screen, (std::vector<std::string>{"B: the erase of cluster 3 failed", "A  done",
                                                "B  done", ""}));
}

// A station's slot: each board's result counts and says what to do with the board; the slot goes
// on (a result does not end it) with the next board after the last is gone.
TEST(SlotLine, CountsEachBoardAndSaysWhatToDoWithIt) {
    PortState state;
    state.port = "A";
    state.station = true;
    const std::pair<const char*, const char*> kSteps[] = {
        {R"({"event":"phase","board":1,"phase":"erasing"})",
         "A  board 1    passed 0    failed 0    erasing    "},
        {R"({"event":"result","board":1,"exit_code":6,"message":"Protocollerror !\nrefused"})",
         "A  board 1    passed 0    failed 1    FAILED: Protocollerror ! refused: remove the "
         "board"},
        {R"({"event":"board_gone","board":1})",
         "A  board 1    passed 0    failed 1    searching  "},
        {R"({"event":"waiting","board":2})",
         "A  board 2    passed 0    failed 1    waiting for a board"},
        {R"({"event":"phase","board":2,"phase":"erasing"})",
         "A  board 2    passed 0    failed 1    erasing    "},
        {R"({"event":"result","board":2,"exit_code":0,"message":"Device started."})",
         "A  board 2    passed 1    failed 1    passed: remove the board"},
        {R"({"event":"result","board":3,"exit_code":130,"message":"stopped"})",
         "A  board 3    passed 1    failed 2    stopped: stopped"},
    };
    for (const auto& step : kSteps) {
        ApplyEvent(Event(step.first), &state);
        EXPECT_EQ(PortLine(state, 1), step.second) << step.first;
    }
    EXPECT_EQ(state.passed, 1);
    EXPECT_EQ(state.failed, 1);
    EXPECT_EQ(state.stopped, 1);
    EXPECT_FALSE(state.ended);
}

TEST(PortBoard, OnATerminalAStationsTotalStaysBelowItsSlots) {
    const std::vector<std::string> screen = Screen(Board(true, true));
    ASSERT_EQ(screen.size(), 5u);
    EXPECT_EQ(screen[0], "B: the erase of cluster 3 failed");
    EXPECT_EQ(screen[1].substr(0, 16), "A  board 0    pa");
    EXPECT_EQ(screen[3], "total");
}

} // namespace
