// tovik-cli as a user runs it: a separate process loading S-record files made by objcopy and
// srec_cat into a virtual device on a pseudo-terminal. What the device ends up holding is checked
// against what srec_cat reads from the same file, and the exit codes against what scripts rely on.
//
// The device is tovik-sim's, set up from tovik-sim's own options, but run in this process so that
// every test also sees the commands that reached it.

#include "sim/sim_command_line.h"
#include "sim/virtual_device.h"

#include "cli_test_files.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using namespace e2e;

class Cli : public ::testing::Test {
protected:
    const ScratchDir scratch;
    const std::string dir = scratch.Path();
    std::unique_ptr<VirtualDevice> device;
    std::map<std::string, std::string> names; // PORT, FILE and the like in tovik-cli's arguments
    ChildProcess cli;                         // tovik-cli; killed if it still runs at the end
    std::string out, err;                     // what it wrote

    void TearDown() override {
        cli.Kill();
        device.reset();
    }

    void StartDevice(const std::string& simOptions) {
        const std::vector<std::string> words =
            Words("tovik-sim --dump " + dir + "/dump.s19 " + simOptions);
        std::vector<const char*> argv;
        std::transform(words.begin(), words.end(), std::back_inserter(argv),
                       [](const std::string& word) { return word.c_str(); });
        SimCommandLine parsed = ParseSimCommandLine(static_cast<int>(argv.size()), argv.data());
        ASSERT_TRUE(parsed.run) << simOptions;
        device = std::make_unique<VirtualDevice>(parsed.options);
        std::string error;
        ASSERT_TRUE(device->Start(&error)) << error;
        names["PORT"] = device->SlavePath();
    }

    // Starts tovik-cli with the words of `args`, those in `names` replaced; stdin empty, stdout and
    // stderr going to files.
    void Spawn(const std::string& args) {
        std::vector<std::string> words = Words(args);
        words.insert(words.begin(), TOVIK_CLI_PATH);
        for (std::string& word : words) {
            word = names.count(word) ? names[word] : word;
        }
        EXPECT_TRUE(cli.Start(words, ChildOutput::File(scratch / "cli.out"),
                              ChildOutput::File(scratch / "cli.err")));
    }

    // The exit code; -1 when it ended by a signal or still ran after `patience`.
    int Wait(std::chrono::milliseconds patience) {
        const ChildExit& exit = cli.Wait(patience);
        out = ReadText(scratch / "cli.out");
        err = ReadText(scratch / "cli.err");
        EXPECT_TRUE(exit.ended) << "tovik-cli did not start or still ran; stderr:\n" << err;
        return exit.ended ? exit.code : -1;
    }

    int Run(const std::string& args, std::chrono::milliseconds patience = 30s) {
        Spawn(args);
        return Wait(patience);
    }

    // The device's memory and the file, both made plain binaries by srec_cat (gaps as zeros from
    // address 0), must be equal.
    void ExpectDeviceHolds(const std::string& file) {
        ASSERT_TRUE(device->WriteDump());
        EXPECT_EQ(RunShell("cd " + dir +
                           " && srec_cat dump.s19 -o device.bin -binary && srec_cat " + file +
                           " -o file.bin -binary && cmp file.bin device.bin"),
                  0)
            << "the device holds other bytes than " << file;
    }

    // What the device must have seen, whatever the exit status.
    void ExpectOrderlyCommands(int exitCode) {
        const std::vector<sim::ExecutedCommand> log = device->CommandLog();
        std::map<std::string, std::vector<size_t>> at; // positions in the log
        for (size_t i = 0; i < log.size(); ++i) {
            at[log[i].text].push_back(i);
        }
        if (exitCode >= 2 && exitCode <= 5) {
            EXPECT_TRUE(at["!E"].empty()) << "erased, though the run could not load";
        }
        if (exitCode > 1) {
            EXPECT_TRUE(at["!G"].empty()) << "started an image that did not wholly go over";
        }
        if (at["!W"].empty()) {
            return;
        }
        ASSERT_FALSE(at["!E"].empty());
        EXPECT_LT(at["!E"].back(), at["!W"].front()) << "programming began before a full erase";
        const std::map<int, unsigned> erased = device->EraseCounts();
        for (int cluster = 1; cluster <= 7; ++cluster) {
            EXPECT_EQ(erased.count(cluster), 1u) << "cluster " << cluster << " was never erased";
        }
        for (size_t i = 0; i + 1 < at["!W"].size(); ++i) {
            EXPECT_EQ(log[at["!W"][i]].error, sim::kErrorNone) << "writing went on after a refusal";
        }
    }
};

// Every file under every line fault: the device ends up holding the file, and the dry run lists
// exactly the blocks the run writes.
class CliLoads : public Cli,
                 public ::testing::WithParamInterface<std::tuple<Firmware, std::string>> {};

TEST_P(CliLoads, WhatTheDryRunListed) {
    const Firmware& firmware = std::get<0>(GetParam());
    names["FILE"] = MakeFirmware(dir, firmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice(std::get<1>(GetParam())));
    // Given the port, a dry run must still leave the line alone.
    ASSERT_EQ(Run("--dry-run --port PORT FILE"), 0) << err;
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

// How runs end. FILE and BAD stand for a good file and one with a wrong checksum on line 3.
struct Outcome {
    const char* name;
    const char* sim; // tovik-sim's options
    const char* cli;
    int exitCode;
    const char* err; // stderr must hold this
    friend void PrintTo(const Outcome& o, std::ostream* out) { *out << o.name; }
};

class CliEnds : public Cli, public ::testing::WithParamInterface<Outcome> {};

TEST_P(CliEnds, WithItsExitCodeAndMessages) {
    const Outcome& o = GetParam();
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    // Line 3 should end in 2E.
    std::ofstream(names["BAD"] = dir + "/bad.s19")
        << "S00600004844521B\nS1070100DEADBEEFBF\nS1070104CAFEF00D2F\nS9030100FB\n";
    ASSERT_NO_FATAL_FAILURE(StartDevice(o.sim));
    // The loader waits 60 s for the start reply that --go-silent never sends.
    const int exitCode = Run(o.cli, 90s);
    device->Stop();
    ASSERT_EQ(exitCode, o.exitCode) << err;
    EXPECT_NE(err.find(o.err), std::string::npos) << err;
    EXPECT_EQ(out.find("Transmission complete.") != std::string::npos, exitCode <= 1) << out;
    EXPECT_EQ(out.find("Device started.") != std::string::npos, exitCode == 0) << out;
    if (exitCode <= 1 && std::string(o.cli).find("PORT") != std::string::npos) {
        ExpectDeviceHolds(names["FILE"]);
    }
    ExpectOrderlyCommands(exitCode);
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
        Outcome{"StartUnanswered", "--go-silent", "-q --port PORT FILE", 1, ""},
        Outcome{"NoFileGiven", "", "--port PORT", 2, ""},
        Outcome{"MissingFile", "", "--port PORT /no/such/file.s19", 3, ""},
        Outcome{"WrongChecksum", "", "-q --timeout 5 --port PORT BAD", 3,
                "Sorry, line 3 of the file has a wrong checksum !"},
        Outcome{"MissingPort", "", "-q --port /no/such/port FILE", 4, "/no/such/port"},
        Outcome{"NoDeviceAtThatRate", "--baud-only 115200",
                "-q --baud 38400 --timeout 0.5 --port PORT FILE", 5, "no device answered"},
        Outcome{"WriteRefused", "--write-err 0000002A", "-q --port PORT FILE", 6,
                "refused a write (reply 42)"},
        // A device error number that is also a record result is still the device's.
        Outcome{"WriteRefusedWith3", "--write-err 00000003", "-q --port PORT FILE", 6,
                "refused a write (reply 3)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, SigintWhileProgrammingStopsBeforeTheStart) {
    names["FILE"] = MakeFirmware(dir, Firmware{"large", 3, 32, {{0x10000, 32768}}});
    // Paced like a real 38400 baud line, the transfer takes seconds: time enough to interrupt.
    ASSERT_NO_FATAL_FAILURE(StartDevice("--wire-baud 38400"));
    Spawn("--port PORT --baud 38400 FILE");
    ASSERT_TRUE(WaitUntil([&] { return device->Memory().ByteCount() > 0; }));
    ASSERT_TRUE(cli.Interrupt());
    const int exitCode = Wait(10s);
    device->Stop();
    EXPECT_EQ(exitCode, 130) << err;
    EXPECT_NE(err.find("only partly programmed"), std::string::npos) << err;
    ExpectOrderlyCommands(exitCode);
    EXPECT_LT(device->Memory().ByteCount(), 32768u) << "the whole image went over";
}

} // namespace
