// tovik-cli whatever reads its output and whatever signals it gets: pipes that close early,
// closed standard streams, interrupts and hang-ups in every phase, and a progress display whose
// figures must be true on a terminal and in a log.

#include "cli_test_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

using namespace cli_e2e;
using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A reader that goes away must not decide how the load ends: the exit status is the load's.
struct Pipeline {
    const char* name;
    const char* tail; // what follows tovik-cli's command in the shell
    friend void PrintTo(const Pipeline& p, std::ostream* out) { *out << p.name; }
};

class CliPipes : public Cli, public ::testing::WithParamInterface<Pipeline> {};

TEST_P(CliPipes, DoNotEndTheLoad) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice(""));
    const std::string command = "bash -c \"" + CommandLine("--port PORT FILE") + " " +
                                GetParam().tail + "; exit \\${PIPESTATUS[0]}\" >/dev/null";
    const int exitCode = RunShell(command);
    device->Stop();
    ASSERT_EQ(exitCode, 0) << command;
    ExpectDeviceHolds(names["FILE"]);
    ExpectOrderlyCommands(exitCode);
}

INSTANTIATE_TEST_SUITE_P(Table, CliPipes,
                         ::testing::Values(
                             // Gone after three lines of progress, in the middle of the erase.
                             Pipeline{"HeadOfAllOutput", "2>&1 | head -3"},
                             Pipeline{"NoReaderOfTheResult", "2>/dev/null | true"},
                             // Opened now, the port would take their numbers and get the text.
                             Pipeline{"ClosedOutput", ">&- 2>&-"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A signal in each phase where one can come: while programming the run stops before the start
// (130); while the device is waited for to confirm its start, all data is there and the wait ends
// at once (1), which the JSON lines show too: the wait and then the result.
struct Interruption {
    const char* name;
    int signal;
    bool atStart; // when the start is waited for, else while programming
    friend void PrintTo(const Interruption& i, std::ostream* out) { *out << i.name; }
};

class CliInterrupted : public Cli, public ::testing::WithParamInterface<Interruption> {};

TEST_P(CliInterrupted, EndsAsStopDoes) {
    const Interruption& p = GetParam();
    const uint32_t size = p.atStart ? 1500 : 32768;
    names["FILE"] = MakeFirmware(dir, Firmware{"fw", 3, 32, {{0x10000, size}}});
    // Paced like a real 38400 baud line, the transfer takes seconds: time enough to interrupt.
    ASSERT_NO_FATAL_FAILURE(StartDevice(p.atStart ? "--go-silent" : "--wire-baud 38400"));
    Spawn(p.atStart ? "--json --port PORT FILE" : "--port PORT FILE");
    if (p.atStart) {
        ASSERT_TRUE(WaitUntil([&] {
            return ReadText(dir + "/cli.err").find("Starting device") != std::string::npos;
        })) << ReadText(dir + "/cli.err");
    } else {
        ASSERT_TRUE(WaitUntil([&] { return device->Memory().ByteCount() > 0; }));
    }
    ASSERT_TRUE(cli.Signal(p.signal));
    // Far less than the start's own 60 s.
    const int exitCode = Wait(10s);
    device->Stop();
    if (p.atStart) {
        EXPECT_EQ(exitCode, 1) << err;
        EXPECT_NE(out.find(R"("phase":"starting")"), std::string::npos) << out;
        const std::vector<nlohmann::json> lines = JsonLines();
        ASSERT_FALSE(lines.empty()) << err;
        const nlohmann::json& result = lines.back();
        EXPECT_EQ(result["event"], "result");
        EXPECT_EQ(result["exit_code"], 1);
        EXPECT_NE(
            result.value("message", "").find("all data written, but the device did not confirm"),
            std::string::npos)
            << out;
        EXPECT_EQ(result["bytes"], 1500);
        ExpectDeviceHolds(names["FILE"]);
    } else {
        EXPECT_EQ(exitCode, 130) << err;
        EXPECT_NE(err.find("only partly programmed"), std::string::npos) << err;
        EXPECT_LT(device->Memory().ByteCount(), size) << "the whole image went over";
    }
    ExpectOrderlyCommands(exitCode);
}

INSTANTIATE_TEST_SUITE_P(Table, CliInterrupted,
                         ::testing::Values(Interruption{"SigintWhileProgramming", SIGINT, false},
                                           Interruption{"SigtermWhileProgramming", SIGTERM, false},
                                           Interruption{"SighupWhileProgramming", SIGHUP, false},
                                           Interruption{"SigintWhileStarting", SIGINT, true},
                                           Interruption{"SigtermWhileStarting", SIGTERM, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The figures a log gets: each step once and in order, the erase to its last cluster, the data to
// 100 %, a failed erase named before the search again.
class CliLog : public Cli, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliLog, ShowsEveryStepOnceToItsEnd) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice(GetParam()));
    ASSERT_EQ(Run("--port PORT FILE"), 0) << err;
    device->Stop();

    const bool eraseFails = std::string(GetParam()).find("erase-fail") != std::string::npos;
    std::vector<std::string> pass = {"Looking for device ... 38400 baud"};
    for (int cluster = 1; cluster <= 7; ++cluster) {
        pass.push_back("Erasing Cluster " + std::to_string(cluster) + "/7");
    }
    std::vector<std::string> expected = pass;
    if (eraseFails) {
        expected.push_back("tovik-cli: erase of cluster 3 failed (error 4): searching again");
        expected.insert(expected.end(), pass.begin(), pass.end());
    }
    const std::vector<std::string> lines = Lines(err);
    ASSERT_GT(lines.size(), expected.size()) << err;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected)
        << err;

    // Then the programming, a line per tenth of the data, the last with all of it.
    std::vector<int> percents;
    size_t i = expected.size();
    for (; i < lines.size() && lines[i].rfind("Programming ", 0) == 0; ++i) {
        percents.push_back(std::stoi(lines[i].substr(12)));
    }
    ASSERT_FALSE(percents.empty()) << err;
    for (size_t k = 1; k < percents.size(); ++k) {
        EXPECT_GT(percents[k] / 10, percents[k - 1] / 10) << "a tenth printed twice:\n" << err;
    }
    EXPECT_EQ(lines[i - 1].substr(0, 33), "Programming 100%  1500/1500 bytes") << err;
    ASSERT_LT(i, lines.size()) << err;
    EXPECT_EQ(lines[i], "Starting device ...");
    EXPECT_EQ(i + 1, lines.size()) << err;
}

INSTANTIATE_TEST_SUITE_P(Table, CliLog, ::testing::Values("", "--erase-fail-once 3"),
                         [](const auto& info) {
                             return std::string(*info.param ? "EraseFailsOnce" : "Plain");
                         });

// On a terminal each phase is one line drawn over and over; what stays on the screen when the
// next phase begins is its final state, however fast the steps came.
TEST_F(Cli, TerminalLinesEndWithTheirFinalFigures) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice(""));
    // script gives tovik-cli a terminal and keeps everything drawn on it.
    const std::string screen = dir + "/screen.txt";
    const int exitCode = RunShell("script -qec \"" + CommandLine("--port PORT FILE") + "\" " +
                                  screen + " </dev/null >/dev/null");
    device->Stop();
    ASSERT_EQ(exitCode, 0);
    std::vector<std::string> finals;
    for (std::string line : Lines(ReadText(screen))) {
        while (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // The last drawing of the line, without the erase to its end.
        std::string last =
            line.substr(line.rfind('\r') == std::string::npos ? 0 : line.rfind('\r') + 1);
        const size_t clear = last.find("\033[K");
        finals.push_back(last.substr(0, clear));
    }
    auto startsWith = [&](const std::string& prefix) {
        return std::find_if(finals.begin(), finals.end(),
                            [&](const std::string& f) { return f.rfind(prefix, 0) == 0; });
    };
    ASSERT_NE(startsWith("Erasing Cluster"), finals.end()) << ReadText(screen);
    EXPECT_EQ(*startsWith("Erasing Cluster"), "Erasing Cluster 7/7");
    ASSERT_NE(startsWith("Programming"), finals.end()) << ReadText(screen);
    EXPECT_EQ(startsWith("Programming")->substr(0, 33), "Programming 100%  1500/1500 bytes");
}

} // namespace
