// tovik-cli --station: slots that load board after board. A board with its own USB bridge is a
// tovik-sim process behind a link named as the slot's port (plugged in: the link is made; taken
// out: it is removed); a board in a fixture whose port stays is the device in this process, swapped
// in place by tovik-sim's --new-board-after.

#include "sim/slave_link.h"

#include "cli_test_fixture.h"
#include "tests/support/station_event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace cli_e2e;

using nlohmann::json;

class Station : public Cli {
protected:
    // The slots first: one left behind would go on using the ports of later tests.
    void TearDown() override {
        for (int child : cli.Running() ? ChildrenOf(cli.Pid()) : std::vector<int>{}) {
            ::kill(child, SIGKILL);
        }
        Cli::TearDown();
    }

    // The complete lines tovik-cli has written so far.
    std::vector<std::string> LinesSoFar() {
        std::vector<std::string> lines;
        std::istringstream in(ReadText(scratch / "cli.out"));
        for (std::string line; std::getline(in, line) && !in.eof();) {
            lines.push_back(line);
        }
        return lines;
    }

    bool WaitForEvent(const std::string& event, const std::string& port, int board) {
        return WaitUntil(
            [&] {
                const std::vector<std::string> lines = LinesSoFar();
                return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                    return IsStationEvent(line, event, port, board);
                });
            },
            90s);
    }

    // A new board with its own bridge: a tovik-sim process; its number in sims.
    size_t NewBoard(const std::string& options) {
        StartSim(options);
        return sims.size() - 1;
    }

    void Plug(const std::string& slot, size_t board) {
        std::string error;
        ASSERT_TRUE(sim::PointLinkAt(slot, sims[board]->SlavePath(), &error)) << error;
    }

    static void Unplug(const std::string& slot) { std::filesystem::remove(slot); }

    // The events of one kind, from the whole output once tovik-cli has ended.
    std::vector<json> Events(const std::string& event) {
        std::vector<json> found;
        for (const json& o : JsonLines()) {
            if (o.value("event", "") == event) {
                found.push_back(o);
            }
        }
        return found;
    }

    // The records of the log, one JSON object a line.
    static std::vector<json> Records(const std::string& log) {
        std::vector<json> records;
        std::istringstream in(ReadText(log));
        for (std::string line; std::getline(in, line);) {
            records.push_back(json::parse(line, nullptr, false));
            EXPECT_TRUE(records.back().is_object()) << "not a JSON record: " << line;
        }
        return records;
    }

    std::string Sha256(const std::string& file) {
        EXPECT_EQ(RunShell("sha256sum '" + file + "' >'" + dir + "/sum'"), 0);
        return ReadText(dir + "/sum").substr(0, 64);
    }

    static json PortCounts(const std::string& port, int passed, int failed, int stopped) {
        return {{"port", port}, {"passed", passed}, {"failed", failed}, {"stopped", stopped}};
    }

    // How many of the device's commands were this one, and how many probes came after its last
    // start.
    size_t Count(const std::string& command) {
        const std::vector<sim::ExecutedCommand> log = device->CommandLog();
        return std::count_if(log.begin(), log.end(),
                             [&](const sim::ExecutedCommand& c) { return c.text == command; });
    }
    size_t ProbesAfterStart() {
        const std::vector<sim::ExecutedCommand> log = device->CommandLog();
        const auto start = std::find_if(
            log.rbegin(), log.rend(), [](const sim::ExecutedCommand& c) { return c.text == "!G"; });
        return std::count_if(log.rbegin(), start,
                             [](const sim::ExecutedCommand& c) { return c.text == "!D"; });
    }
};

// Two slots, three boards each, put in and taken out in turns; the second board of the second
// slot refuses its writes. Every board is loaded exactly once and has exactly one record.
TEST_F(Station, TwoSlotsLoadThreeBoardsEachWithOneRecordApiece) {
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    const std::string log = dir + "/station.log";
    const std::vector<std::string> slots{dir + "/slot-a", dir + "/slot-b"};
    Spawn("--station --json --baud 115200 --station-name line-3 --log " + log + " --port " +
          slots[0] + " --port " + slots[1] + " " + file);
    std::map<size_t, std::pair<std::string, int>> slotBoard; // sim -> slot and board number
    for (int n = 1; n <= 3; ++n) {
        for (const std::string& slot : slots) {
            const bool refusing = n == 2 && slot == slots[1];
            const size_t board = NewBoard(refusing ? "--write-err 0000002A" : "");
            slotBoard[board] = {slot, n};
            Plug(slot, board);
        }
        for (const std::string& slot : slots) {
            ASSERT_TRUE(WaitForEvent("result", slot, n)) << slot << " board " << n;
        }
        for (const std::string& slot : slots) {
            Unplug(slot);
        }
        for (const std::string& slot : slots) {
            ASSERT_TRUE(WaitForEvent("board_gone", slot, n)) << slot << " board " << n;
        }
    }
    ASSERT_TRUE(cli.Signal(SIGINT));
    ASSERT_EQ(Wait(60s), 8) << err;

    const auto expectedExit = [&](const std::string& slot, int n) {
        return n == 2 && slot == slots[1] ? 6 : 0;
    };
    std::map<std::pair<std::string, int>, int> results;
    for (const json& o : JsonLines()) {
        if (o["event"] == "summary") {
            continue;
        }
        ASSERT_NE(std::find(slots.begin(), slots.end(), o["port"]), slots.end()) << o;
        ASSERT_TRUE(o["board"].is_number()) << o;
        if (o["event"] == "result") {
            const std::pair<std::string, int> key{o["port"], o["board"]};
            EXPECT_EQ(results.count(key), 0u) << "a second result: " << o;
            results[key] = o["exit_code"];
        }
    }
    std::map<std::pair<std::string, int>, int> expected;
    for (const auto& [board, at] : slotBoard) {
        expected[at] = expectedExit(at.first, at.second);
        if (expected[at] == 0) {
            EXPECT_TRUE(DeviceHolds(board, file)) << at.first << " board " << at.second;
        }
    }
    EXPECT_EQ(results, expected);
    // The failed board's reason for a person is what a single load tells.
    EXPECT_NE(err.find(slots[1] + " board 2: FAILED: Protocollerror ! the device refused the write "
                                  "at 0x00010000 (error 42)"),
              std::string::npos)
        << err;

    const json summary = JsonLines().back();
    EXPECT_EQ(summary["event"], "summary");
    EXPECT_EQ(summary["passed"], 5);
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_EQ(summary["stopped"], 0);
    EXPECT_EQ(summary["ports"],
              json::array({PortCounts(slots[0], 3, 0, 0), PortCounts(slots[1], 2, 1, 0)}));

    // One record a board, naming the pseudo-terminal behind the link and the image's hash.
    const std::vector<json> records = Records(log);
    ASSERT_EQ(records.size(), 6u) << ReadText(log);
    const std::string sha256 = Sha256(file);
    std::map<std::pair<std::string, int>, int> recorded;
    for (const json& r : records) {
        const std::pair<std::string, int> key{r["port"], r["board"]};
        EXPECT_EQ(recorded.count(key), 0u) << "a second record: " << r;
        recorded[key] = r["exit_code"];
        const auto board = std::find_if(slotBoard.begin(), slotBoard.end(),
                                        [&](const auto& entry) { return entry.second == key; });
        ASSERT_NE(board, slotBoard.end()) << r;
        EXPECT_EQ(r["device"], sims[board->first]->SlavePath()) << r;
        EXPECT_EQ(r["sha256"], sha256) << r;
        EXPECT_EQ(r["file"], file) << r;
        EXPECT_EQ(r["station"], "line-3") << r;
        EXPECT_EQ(r["bytes"], expectedExit(key.first, key.second) == 0 ? 1500 : 0) << r;
    }
    EXPECT_EQ(recorded, expected);
}

// Ctrl-C in the middle of a load stops it after the command in flight: that board is "stopped",
// with its record; a slot still waiting for its port has no board, so neither.
TEST_F(Station, CtrlCDuringALoadStopsThatBoardWithItsRecord) {
    const std::string file = MakeFirmware(dir, Firmware{"large", 3, 32, {{0x10000, 16384}}});
    const std::string log = dir + "/station.log";
    const std::string slot = dir + "/slot-a", empty = dir + "/slot-b";
    Plug(slot, NewBoard("--wire-baud 38400"));
    Spawn("--station --json --log " + log + " --port " + slot + " --port " + empty + " " + file);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<std::string> lines = LinesSoFar();
            return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                return IsStationEvent(line, "progress", slot, 1) &&
                       line.find("\"phase\":\"programming\"") != std::string::npos &&
                       line.find("\"bytes\":0,") == std::string::npos;
            });
        },
        90s))
        << ReadText(scratch / "cli.err");
    ASSERT_TRUE(cli.Signal(SIGINT));
    ASSERT_EQ(Wait(60s), 130) << err;
    const std::vector<json> results = Events("result");
    ASSERT_EQ(results.size(), 1u) << out;
    EXPECT_EQ(results[0]["port"], slot);
    EXPECT_EQ(results[0]["exit_code"], 130);
    const json summary = JsonLines().back();
    EXPECT_EQ(summary["event"], "summary");
    EXPECT_EQ(summary["stopped"], 1);
    EXPECT_EQ(summary["passed"], 0);
    EXPECT_EQ(summary["ports"],
              json::array({PortCounts(slot, 0, 0, 1), PortCounts(empty, 0, 0, 0)}));
    const std::vector<json> records = Records(log);
    ASSERT_EQ(records.size(), 1u) << ReadText(log);
    EXPECT_EQ(records[0]["port"], slot);
    EXPECT_EQ(records[0]["board"], 1);
    EXPECT_EQ(records[0]["exit_code"], 130);
}

// A board that is never taken out, and keeps answering, is loaded once however long it stays.
TEST_F(Station, ABoardLeftInPlaceIsNeverLoadedTwice) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    StartDevice("");
    Spawn("--station --json --baud 115200 --port PORT FILE");
    ASSERT_TRUE(WaitUntil([&] { return ProbesAfterStart() >= 10; }, 90s))
        << ReadText(scratch / "cli.err");
    ASSERT_TRUE(cli.Signal(SIGINT));
    ASSERT_EQ(Wait(60s), 0) << err;
    EXPECT_EQ(Count("!G"), 1u);
    ExpectOrderlyCommands(0);
    EXPECT_EQ(Events("result").size(), 1u) << out;
    EXPECT_TRUE(Events("board_gone").empty()) << out;
    EXPECT_EQ(JsonLines().back()["passed"], 1);
}

// Boards swapped in a fixture whose port stays: a started board falls silent (and is taken for
// gone), then a blank one answers in its place and is loaded. --count ends the station by itself
// once enough boards have passed, without waiting for the last to be taken out.
TEST_F(Station, BoardsSwappedInPlaceUntilTheCount) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    // Silent far longer than the five unanswered probes that tell the board is gone.
    StartDevice("--new-board-after 5000");
    ASSERT_EQ(Run("--station --json --baud 115200 --count 2 --port PORT FILE", 90s), 0) << err;
    EXPECT_EQ(Count("!G"), 2u);
    for (int board = 1; board <= 2; ++board) {
        EXPECT_TRUE(DumpHolds("dump.s19." + std::to_string(board), names["FILE"])) << board;
    }
    std::vector<int> passed;
    for (const json& result : Events("result")) {
        EXPECT_EQ(result["exit_code"], 0) << result;
        passed.push_back(result["board"]);
    }
    EXPECT_EQ(passed, (std::vector<int>{1, 2}));
    const std::vector<json> gone = Events("board_gone");
    ASSERT_EQ(gone.size(), 1u) << out;
    EXPECT_EQ(gone[0]["board"], 1);
    EXPECT_EQ(JsonLines().back()["passed"], 2);
}

// A log on a file system with no room left: the load in flight finishes, and then the station
// ends, as no board may be loaded without its record.
TEST_F(Station, ALogThatCanNoLongerBeWrittenEndsTheStation) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    const std::string full = dir + "/full";
    std::filesystem::create_directory(full);
    ASSERT_EQ(RunShell("mount -t tmpfs -o size=16k tmpfs '" + full + "'"), 0);
    struct Unmount {
        std::string path;
        // Lazily: a station still running after a failure may hold the log open.
        ~Unmount() { RunShell("umount -l '" + path + "'"); }
    } unmount{full};
    const std::string log = full + "/station.log";
    std::ofstream(log).close();
    RunShell("dd if=/dev/zero of='" + full + "/filler' bs=4k 2>/dev/null");
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    StartDevice("");
    ASSERT_EQ(Run("--station --json --baud 115200 --log " + log + " --port PORT FILE", 90s), 9)
        << err;
    EXPECT_EQ(Count("!G"), 1u);
    EXPECT_TRUE(ReadText(log).empty());
}

// A station killed outright takes its slots with it: none may go on waiting for boards, and
// loading them, with nobody to hear of it and the port held.
TEST_F(Station, ASlotEndsWithItsStation) {
    const std::string slot = dir + "/slot-a";
    Spawn("--station --json --port " + slot + " " + MakeFirmware(dir, kSmallFirmware));
    ASSERT_TRUE(WaitForEvent("waiting", slot, 1)) << ReadText(scratch / "cli.err");
    const std::vector<int> children = ChildrenOf(cli.Pid());
    ASSERT_EQ(children.size(), 1u);
    ASSERT_TRUE(cli.Kill());
    const auto gone = [&] {
        const char state = StateOf(children[0]);
        return state == 0 || state == 'Z' || state == 'X';
    };
    EXPECT_TRUE(WaitUntil(gone, 60s)) << "the slot outlived its station";
    ::kill(children[0], SIGKILL);
}

} // namespace
