// tovik-cli as a user runs it: a separate process loading S-record files made by objcopy and
// srec_cat into a virtual device on a pseudo-terminal. What the device ends up holding is checked
// against what srec_cat reads from the same file, and the exit codes against what scripts rely on.

#include "cli_test_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

using namespace cli_e2e;
using namespace std::chrono_literals;

// Every file under every line fault: the device ends up holding the file, and the dry run lists
// exactly the blocks the run writes.
class CliLoads : public Cli,
                 public ::testing::WithParamInterface<std::tuple<Firmware, std::string>> {};

TEST_P(CliLoads, WhatTheDryRunListed) {
    const Firmware& firmware = std::get<0>(GetParam());
    names["FILE"] = MakeFirmware(dir, firmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice(std::get<1>(GetParam())));
    // Given the port, a dry run must still leave the line alone; read from a pipe, it reads the
    // file once and lists it whole.
    pipeIn = names["FILE"];
    ASSERT_EQ(Run("--dry-run --port PORT -"), 0) << err;
    pipeIn.clear();
    EXPECT_EQ(device->BytesReceived(), 0u) << "the dry run sent something";
    const std::string listed = out;
    // Every command costs a retransmission under --drop-first; --timeout only ends a search that
    // finds nothing.
    const int exitCode = Run("-q --timeout 5 --port PORT FILE");
    device->Stop();
    ASSERT_EQ(exitCode, 0) << err;
    ExpectDeviceHolds(names["FILE"]);
    ExpectOrderlyCommands(exitCode);

    // "0xADDRESS LENGTH" per block, then "N blocks, N bytes, N lines".
    std::string blocks;
    size_t bytes = 0, failedErases = 0;
    for (const sim::ExecutedCommand& c : device->CommandLog()) {
        failedErases += c.text == "!E" && c.error == sim::kErrorEraseFailed;
        if (c.text == "!W") {
            ASSERT_GE(c.params.size(), 4u);
            char line[32];
            std::snprintf(line, sizeof line, "0x%02X%02X%02X%02X %zu\n", c.params[0], c.params[1],
                          c.params[2], c.params[3], c.params.size() - 4);
            blocks += line;
            bytes += c.params.size() - 4;
        }
    }
    blocks += std::to_string(std::count(blocks.begin(), blocks.end(), '\n')) + " blocks, " +
              std::to_string(bytes) + " bytes, " +
              std::to_string(Words(ReadText(names["FILE"])).size()) + " lines";
    EXPECT_EQ(listed.substr(0, blocks.size()), blocks);
    for (const auto& range : firmware.ranges) {
        bytes -= range.second;
    }
    EXPECT_EQ(bytes, 0u) << "the blocks do not hold the file's data";
    EXPECT_EQ(failedErases, device->Options().eraseFailOnce ? 1u : 0u);
}

// Below 0x10000 the loader uses shorter blocks, so files below and across it; odd addresses and
// sizes put the gaps in the middle of records.
INSTANTIATE_TEST_SUITE_P(
    FilesAndFaults, CliLoads,
    ::testing::Combine(
        ::testing::Values(
            Firmware{"S1_16_gaps", 2, 16, {{0x0100, 500}, {0x2345, 301}, {0x8001, 300}}},
            kSmallFirmware, Firmware{"S3_objcopy_32", 4, 32, {{0x30000, 1200}}},
            Firmware{
                "S3_64_gaps_across_64K", 4, 64, {{0xFF00, 300}, {0x10800, 700}, {0x20001, 201}}}),
        ::testing::Values("", "--drop-first", "--noise", "--erase-fail-once 3")),
    [](const auto& info) {
        std::string name = std::string(std::get<0>(info.param).name) + std::get<1>(info.param);
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
        return name;
    });

// How runs end, told to a person on stderr and in the one result that ends the JSON lines; a
// command line that cannot be understood gives no lines at all. FILE and BAD stand for a good file
// and one with a wrong checksum on line 3, LINK for a link to the device, INI for the profile;
// what the file check refuses is its own tests' (file_check_test.cpp, and CliMends end to end).
struct Outcome {
    const char* name;
    const char* sim; // tovik-sim's options
    const char* cli;
    int exitCode;
    const char* err;             // stderr and the result's message must hold this
    const char* spoil = nullptr; // a shell command run on the profile before tovik-cli
    friend void PrintTo(const Outcome& o, std::ostream* out) { *out << o.name; }
};

class CliEnds : public Cli, public ::testing::WithParamInterface<Outcome> {};

TEST_P(CliEnds, WithItsExitCodeAndMessages) {
    const Outcome& o = GetParam();
    if (o.spoil && std::string(o.spoil).find("chmod") != std::string::npos &&
        RunShell("test -w /") == 0) {
        GTEST_SKIP() << "this user reads any file";
    }
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    // Line 3 should end in 2E.
    std::ofstream(names["BAD"] = dir + "/bad.s19")
        << "S00600004844521B\nS1070100DEADBEEFBF\nS1070104CAFEF00D2F\nS9030100FB\n";
    names["EMPTY"] = "";
    names["BLANK"] = " \t";
    ASSERT_NO_FATAL_FAILURE(StartDevice(o.sim));
    names["LINK"] = dir + "/ttyLINK";
    ASSERT_EQ(::symlink(names["PORT"].c_str(), names["LINK"].c_str()), 0);
    // A bench set up in the dialog, whose own port is COM4: its profile maps COM1, COM3 and COM12
    // (above COM8, where the port layer has no slot of its own) to the device.
    ASSERT_EQ(::mkdir((dir + "/tovik").c_str(), 0700), 0);
    names["INI"] = dir + "/tovik/tovik.ini";
    const std::string profile = Fill("[Tovik]\nComPort=3\n\n[Ports]\nCOM1=PORT\nCOM3=PORT\n"
                                     "com12=PORT\n");
    std::ofstream(names["INI"], std::ios::binary) << profile;
    ASSERT_EQ(RunShell(Fill(o.spoil ? o.spoil : "true")), 0);
    runUnder = {"env", "XDG_CONFIG_HOME=" + dir};
    pipeIn = Words(o.cli).back() == "-" ? names["FILE"] : "";
    // The loader waits 60 s for the start reply that --go-silent never sends.
    const int exitCode = Run(std::string("--json ") + o.cli, 90s);
    device->Stop();
    ASSERT_EQ(exitCode, o.exitCode) << err;
    const std::string told = Fill(o.err);
    EXPECT_NE(err.find(told), std::string::npos) << err;
    if (exitCode == 2) {
        EXPECT_EQ(out, "") << "JSON lines for a command line that cannot be understood";
    } else {
        const std::vector<nlohmann::json> lines = JsonLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const nlohmann::json& l) { return l["event"] == "result"; }),
                  1)
            << out;
        const nlohmann::json& result = lines.back();
        EXPECT_EQ(result["event"], "result");
        EXPECT_EQ(result["exit_code"], exitCode);
        const std::string message = result.value("message", "");
        EXPECT_NE(message.find(told), std::string::npos) << out;
        EXPECT_EQ(message.find("Transmission complete.") != std::string::npos, exitCode <= 1)
            << out;
        EXPECT_EQ(message.find("Device started.") != std::string::npos, exitCode == 0) << out;
    }
    if (exitCode <= 1 && std::string(o.cli).find("--simulate") == std::string::npos) {
        ExpectDeviceHolds(names["FILE"]);
    }
    ExpectOrderlyCommands(exitCode);
    if (!o.spoil) {
        EXPECT_EQ(ReadText(names["INI"]), profile) << "the profile was written";
        EXPECT_EQ(RunShell("test \"$(ls -A " + dir + "/tovik)\" = tovik.ini"), 0)
            << "something else was left beside the profile";
    }
}

INSTANTIATE_TEST_SUITE_P(
    ExitCodes, CliEnds,
    ::testing::Values(
        Outcome{"AutoBaudFindsA57600Device", "--baud-only 57600",
                "-q --baud auto --timeout 5 --port PORT FILE", 0, ""},
        Outcome{"Simulated", "", "-q --simulate --baud 115200 FILE", 0, ""},
        // Every reply held by a USB adapter's 16 ms timer: slower, and still whole.
        Outcome{"ThroughAnAdaptersLatencyTimer", "--latency-ms 16 --wire-baud 115200",
                "-q --baud 115200 --timeout 5 --port PORT FILE", 0, ""},
        // A file that can be read only once is read once, and what was checked is programmed.
        Outcome{"PipeIntoDash", "", "-q --timeout 5 --port PORT -", 0, ""},
        // A COM name opens the device the profile gives it; no port is COM1, not the dialog's.
        Outcome{"ProfileCom3", "", "-q --port COM3 FILE", 0, ""},
        Outcome{"ProfileCom12", "", "-q --port com12 FILE", 0, ""},
        Outcome{"NoPortIsCom1", "", "-q FILE", 0, ""},
        // A profile that cannot be read maps no COM name: refused rather than taken for
        // /dev/ttyS<n-1>, another controller perhaps; a device path needs no profile.
        Outcome{"FolderForProfileCom3", "", "-q --port COM3 FILE", 4,
                "cannot tell which device COM3 is: the profile INI maps", "rm INI && mkdir INI"},
        Outcome{"FolderForProfileNoPort", "", "-q FILE", 4,
                "cannot tell which device COM1 is: the profile INI maps", "rm INI && mkdir INI"},
        Outcome{"UnreadableProfileCom3", "", "-q --port COM3 FILE", 4,
                "cannot tell which device COM3 is: the profile INI maps", "chmod 000 INI"},
        Outcome{"UnreadableProfileDevicePath", "", "-q --port PORT FILE", 0, "", "chmod 000 INI"},
        Outcome{"StartUnanswered", "--go-silent", "-q --port PORT FILE", 1,
                "all data written, but the device did not confirm the start"},
        Outcome{"NoFileGiven", "", "--port PORT", 2, ""},
        // An unset variable in --port "$PORT" is a mistake in the command line, not a wish for
        // COM1, found before the file (which does not exist: read first, it would give 3).
        Outcome{"EmptyPort", "", "--port EMPTY /no/such.s19", 2, "--port is empty"},
        Outcome{"BlankPort", "", "-p BLANK /no/such.s19", 2, "--port is empty"},
        Outcome{"EmptyPortOfSeveral", "", "--port /dev/ttyUSB97 --port EMPTY /no/such.s19", 2,
                "--port is empty"},
        // "--port=$PORT" unset: the parser would take the file for the port.
        Outcome{"EmptyPortEquals", "", "--port= /no/such.s19", 2, "--port is empty"},
        Outcome{"EmptyPortEqualsLast", "", "/no/such.s19 --port=", 2, "--port is empty"},
        Outcome{"EmptyPortEqualsOfSeveral", "", "--port=/dev/ttyUSB97 --port= /no/such.s19", 2,
                "--port is empty"},
        // One device named twice, in other words: refused before any child starts.
        Outcome{"LinkAndItsTarget", "", "--port LINK --port PORT FILE", 2,
                "--port LINK and --port PORT are the same device"},
        Outcome{"ComNameAndItsDevice", "", "--port COM2 --port /dev/ttyS1 FILE", 2,
                "--port COM2 and --port /dev/ttyS1 are the same device"},
        Outcome{"ComNameSpelledTwoWays", "", "--port com2 --port COM2 FILE", 2,
                "--port com2 and --port COM2 are the same device"},
        Outcome{"ProfileComNameAndItsDevice", "", "--port COM3 --port PORT FILE", 2,
                "--port COM3 and --port PORT are the same device"},
        Outcome{"ProfileCom12AndItsDevice", "", "--port COM12 --port PORT FILE", 2,
                "--port COM12 and --port PORT are the same device"},
        Outcome{"MissingFile", "", "--port PORT /no/such/file.s19", 3,
                "Sorry, cannot open /no/such/file.s19: No such file or directory !"},
        Outcome{"WrongChecksum", "", "-q --timeout 5 --port PORT BAD", 3,
                "Sorry, line 3 of the file has a wrong checksum !"},
        Outcome{"MissingPort", "", "--port /no/such/port FILE", 4,
                "cannot open /no/such/port: no such device"},
        Outcome{"PortNeverAppears", "", "--wait-port 0.3 --port /no/such/port FILE", 4,
                "the port /no/such/port did not appear within 0.3 s"},
        // What is no serial line is refused before anything is written to it.
        Outcome{"PortIsAFile", "", "--port FILE FILE", 4,
                "cannot open FILE: a regular file, not a serial device"},
        Outcome{"NoDeviceAtThatRate", "--baud-only 115200",
                "-q --baud 38400 --timeout 0.5 --port PORT FILE", 5,
                "no device answered within 0.5 s"},
        // Every answer comes 300 ms after its probe, beyond the probe's 200 ms: the device is
        // there.
        Outcome{"RepliesTooLate", "--reply-delay-ms 300",
                "--timeout 2 --baud 38400 --port PORT FILE", 5,
                "replies came after their time-out"},
        // Answers the first search, fails the erase of cluster 7 and is silent from then on, its
        // line open: --timeout ends that second search too.
        Outcome{"SilentAfterAFailedErase", "--erase-fail-once 7 --silent-after-erase-fail",
                "--timeout 1 --port PORT FILE", 5,
                "no device answered within 1 s of the search after a failed erase"},
        // A device error number that is also a record result is still the device's.
        Outcome{"WriteRefusedWith3", "--write-err 00000003", "-q --port PORT FILE", 6,
                "refused the write at 0x00010000 (error 3)"},
        // A time limit that could never pass, or never be reached, is no time limit.
        Outcome{"TimeoutNan", "", "--timeout nan --port PORT FILE", 2,
                "must be a positive number of seconds"},
        Outcome{"TimeoutInfinite", "", "--timeout inf --port PORT FILE", 2,
                "must be a positive number of seconds"},
        Outcome{"TimeoutTooLarge", "", "--timeout 1e400 --port PORT FILE", 2,
                "must be a positive number of seconds"},
        Outcome{"TimeoutNegative", "", "--timeout -1 --port PORT FILE", 2,
                "must be a positive number of seconds, such as 5 or 0.5, not '-1'\n"},
        Outcome{"TimeoutZero", "", "--timeout 0 --port PORT FILE", 2,
                "must be a positive number of seconds"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, AFileRewrittenDuringTheEraseIsProgrammedAsItWasChecked) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    const std::string checked = ReadText(names["FILE"]);
    const std::string other =
        ReadText(MakeFirmware(dir, Firmware{"other", 3, 32, {{0x10000, 15000}}}));
    std::ofstream(dir + "/checked.s19") << checked;
    // Seven erases of 300 ms leave time to rewrite the file while the device is erased.
    ASSERT_NO_FATAL_FAILURE(StartDevice("--erase-ms 300"));
    Spawn("-q --port PORT FILE");
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto log = device->CommandLog();
            return std::any_of(log.begin(), log.end(),
                               [](const sim::ExecutedCommand& c) { return c.text == "!E"; });
        },
        20s));
    std::ofstream(names["FILE"], std::ios::trunc) << other; // in place: the same file
    const int exitCode = Wait(30s);
    device->Stop();
    ASSERT_EQ(exitCode, 0) << err;
    ExpectDeviceHolds(dir + "/checked.s19");
    ExpectOrderlyCommands(exitCode);
}

TEST_F(Cli, WarnsOfOverlapsAndLinesAfterTheEndAndLoadsTheFile) {
    // The small firmware has a header, 47 data records and an end record. Its third line again
    // before its end record (line 49), then its header, a blank line and text behind it (lines 51
    // to 53), which carry no data.
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    names["WARN"] = dir + "/warn.s19";
    ASSERT_EQ(RunShell("cd " + dir + " && (head -n -1 small.s19; sed -n 3p small.s19; " +
                       "tail -n 1 small.s19; head -n 1 small.s19; echo; echo end) > warn.s19"),
              0);
    ASSERT_NO_FATAL_FAILURE(StartDevice(""));
    const std::string overlap = "Warning: line 49 of the file gives data for 0x00010020 to "
                                "0x0001003F, which an earlier line gave already; both are written";
    const std::string afterEnd =
        "Warning: lines 51 to 53 of the file follow the end record and are not loaded";
    for (const char* options :
         {"--dry-run", "-q --timeout 5 --port PORT", "--json -q --port PORT"}) {
        const int exitCode = Run(std::string(options) + " WARN");
        ASSERT_EQ(exitCode, 0) << err;
        const std::string warnings = overlap + "\n" + afterEnd + "\n";
        EXPECT_EQ(err.substr(0, warnings.size()), warnings) << options;
    }
    // Each warning told also reaches the JSON lines, and the result counts them.
    EXPECT_NE(out.find(R"("event":"warning","port":")" + names["PORT"]), std::string::npos) << out;
    EXPECT_NE(out.find(R"("what":"overlap","line":49,"last_line":49,"text":")" + overlap + "\"}"),
              std::string::npos)
        << out;
    EXPECT_NE(
        out.find(R"("what":"after_end","line":51,"last_line":53,"text":")" + afterEnd + "\"}"),
        std::string::npos)
        << out;
    EXPECT_NE(out.find(R"("exit_code":0,)"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("warnings":2})"), std::string::npos) << out;
    device->Stop();
    ExpectDeviceHolds(names["FILE"]);
}

} // namespace
