// tovik-cli as a user runs it: a separate process loading S-record files made by objcopy and
// srec_cat into a virtual device on a pseudo-terminal. What the device ends up holding is checked
// against what srec_cat reads from the same file, and the exit codes against what scripts rely on.
//
// The device is tovik-sim's, set up from tovik-sim's own options, but run in this process so that
// every test also sees the commands that reached it.

#include "sim/sim_command_line.h"
#include "sim/virtual_device.h"

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Also the lines of an S-record file, which have no spaces.
std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

struct Firmware {
    const char* name;
    int addressBytes, recordLength; // 2, 3 or 4 (S1, S2 or S3 records); data bytes per record
    std::vector<std::pair<uint32_t, size_t>> ranges; // address, size
    friend void PrintTo(const Firmware& f, std::ostream* out) { *out << f.name; }
};

const Firmware kSmallFirmware{"small", 3, 32, {{0x10000, 1500}}};

// Makes the file from random bytes (a fixed seed per range): one range with objcopy, which picks
// S1 or S2 by the highest address and S3 when forced; several with srec_cat, told the address
// length. tovik-cli reads S0, data and S7/S8/S9 only: no count record, and an end record needs a
// start address.
std::string MakeFirmware(const std::string& dir, const Firmware& firmware) {
    const std::string path = dir + "/" + firmware.name + ".s19";
    std::string bins;
    for (size_t i = 0; i < firmware.ranges.size(); ++i) {
        std::mt19937 random(static_cast<unsigned>(1000 + i));
        std::string data(firmware.ranges[i].second, '\0');
        std::generate(data.begin(), data.end(), [&] { return static_cast<char>(random()); });
        const std::string bin = dir + "/" + firmware.name + std::to_string(i) + ".bin";
        std::ofstream(bin, std::ios::binary) << data;
        bins += " " + bin + " -binary -offset " + std::to_string(firmware.ranges[i].first);
    }
    const std::string start = std::to_string(firmware.ranges[0].first);
    const std::string length = std::to_string(firmware.recordLength);
    const std::string command =
        firmware.ranges.size() == 1
            ? "objcopy -I binary -O srec --srec-len " + length + " --change-addresses " + start +
                  (firmware.addressBytes == 4 ? " --srec-forceS3 " : " ") + dir + "/" +
                  firmware.name + "0.bin " + path
            : "srec_cat" + bins + " -o " + path +
                  " -Motorola -address-length=" + std::to_string(firmware.addressBytes) +
                  " -Output_Block_Size " + length +
                  " -disable=data-count -execution-start-address=" + start;
    EXPECT_EQ(RunShell(command), 0) << command;
    // The tools choose the record type themselves; make sure the file has the one asked for.
    EXPECT_EQ(Words(ReadText(path)).at(1).substr(0, 2),
              "S" + std::to_string(firmware.addressBytes - 1))
        << path;
    return path;
}

class Cli : public ::testing::Test {
protected:
    const ScratchDir scratch;
    const std::string dir = scratch.Path();
    std::unique_ptr<VirtualDevice> device;
    std::map<std::string, std::string> names; // PORT, FILE and the like in tovik-cli's arguments
    ChildProcess cli;                         // tovik-cli; killed if it still runs at the end
    std::string out, err;                     // what it wrote
    std::string pipeIn; // when set, tovik-cli reads its standard input from `cat pipeIn |`

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

    // Starts tovik-cli with the words of `args`, those in `names` replaced; stdin empty (or the
    // pipe from pipeIn, as a shell makes it), stdout and stderr going to files.
    void Spawn(const std::string& args) {
        std::vector<std::string> words = Words(args);
        words.insert(words.begin(), TOVIK_CLI_PATH);
        for (std::string& word : words) {
            word = names.count(word) ? names[word] : word;
        }
        if (!pipeIn.empty()) {
            std::string command = "cat '" + pipeIn + "' | exec";
            for (const std::string& word : words) {
                command += " '" + word + "'";
            }
            words = {"/bin/sh", "-c", command};
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
    // A header and an end record; a record whose last bytes would lie beyond 0xFFFFFFFF; records
    // of 128 data bytes, on lines of 270 characters.
    names["EMPTY"] = dir + "/empty.s19";
    names["TOP"] = dir + "/top.s19";
    names["WIDE"] = dir + "/wide.s19";
    ASSERT_EQ(RunShell("cd " + dir + " && : > empty.bin && srec_cat empty.bin -binary -o " +
                       "empty.s19 -Motorola -disable=data-count -execution-start-address=0 && " +
                       "head -c 16 small0.bin > top.bin && objcopy -I binary -O srec " +
                       "--srec-forceS3 --change-addresses 0xFFFFFFF8 top.bin top.s19 && " +
                       "objcopy -I binary -O srec --srec-len=128 --change-addresses 0x10000 " +
                       "small0.bin wide.s19"),
              0);
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
        Outcome{"NoData", "", "-q --timeout 5 --port PORT EMPTY", 3, "File contains no data !"},
        Outcome{"NoDataDryRun", "", "--dry-run EMPTY", 3, "File contains no data !"},
        Outcome{"BeyondTheTopAddress", "", "-q --timeout 5 --port PORT TOP", 3,
                "Sorry, line 2 of the file has data beyond the address 0xFFFFFFFF !"},
        Outcome{"LinesTooLong", "", "-q --timeout 5 --port PORT WIDE", 3,
                "Sorry, line 2 of the file is too long: 270 characters with its line end, and the "
                "loader reads lines of up to 254 ! Records of 16 to 64 data bytes are what it "
                "reads: make the file with objcopy --srec-len=32 or srec_cat -obs=32."},
        Outcome{"MissingPort", "", "-q --port /no/such/port FILE", 4, "/no/such/port"},
        Outcome{"NoDeviceAtThatRate", "--baud-only 115200",
                "-q --baud 38400 --timeout 0.5 --port PORT FILE", 5, "no device answered"},
        Outcome{"WriteRefused", "--write-err 0000002A", "-q --port PORT FILE", 6,
                "refused a write (reply 42)"},
        // A device error number that is also a record result is still the device's.
        Outcome{"WriteRefusedWith3", "--write-err 00000003", "-q --port PORT FILE", 6,
                "refused a write (reply 3)"}),
    [](const auto& info) { return std::string(info.param.name); });

// Files that can be read only once load like any other: tovik-cli reads the file once and
// programs what it checked.
struct Source {
    const char* name;
    const char* path; // as given to tovik-cli; FIFO is a named pipe the test fills
    const char* options;
    friend void PrintTo(const Source& s, std::ostream* out) { *out << s.name; }
};

class CliReadsOnce : public Cli, public ::testing::WithParamInterface<Source> {};

TEST_P(CliReadsOnce, AndProgramsWhatItChecked) {
    const Source& source = GetParam();
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice(""));
    // The dry run's listing of the file itself is what any source must give.
    ASSERT_EQ(Run("--dry-run FILE"), 0) << err;
    const std::string listed = out;

    std::thread writer;
    if (std::string(source.path) == "FIFO") {
        names["FIFO"] = dir + "/fifo";
        ASSERT_EQ(::mkfifo(names["FIFO"].c_str(), 0600), 0);
        writer = std::thread([&] {
            // No reader yet makes a non-blocking open fail; the test must not hang on one.
            int fd = -1;
            WaitUntil(
                [&] { return (fd = ::open(names["FIFO"].c_str(), O_WRONLY | O_NONBLOCK)) >= 0; },
                20s);
            const std::string text = ReadText(names["FILE"]);
            ::fcntl(fd, F_SETFL, 0);
            for (size_t done = 0; fd >= 0 && done < text.size();) {
                const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
                done += n > 0 ? static_cast<size_t>(n) : text.size();
            }
            ::close(fd);
        });
    } else {
        pipeIn = names["FILE"];
    }
    const int exitCode = Run(std::string(source.options) + " " + source.path);
    if (writer.joinable()) {
        writer.join();
    }
    device->Stop();
    ASSERT_EQ(exitCode, 0) << err;
    if (std::string(source.options).find("--dry-run") != std::string::npos) {
        EXPECT_EQ(out, listed);
        EXPECT_EQ(device->BytesReceived(), 0u);
    } else {
        ExpectDeviceHolds(names["FILE"]);
        ExpectOrderlyCommands(exitCode);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CliReadsOnce,
    ::testing::Values(Source{"PipeIntoDevStdin", "/dev/stdin", "-q --timeout 5 --port PORT"},
                      Source{"PipeIntoDash", "-", "-q --timeout 5 --port PORT"},
                      Source{"Fifo", "FIFO", "-q --timeout 5 --port PORT"},
                      Source{"DryRunFromAPipe", "-", "--dry-run"}),
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
    // before its end record (line 49), then the whole file pasted behind it (lines 51 to 99).
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    names["WARN"] = dir + "/warn.s19";
    ASSERT_EQ(RunShell("cd " + dir + " && (head -n -1 small.s19; sed -n 3p small.s19; " +
                       "tail -n 1 small.s19; cat small.s19) > warn.s19"),
              0);
    ASSERT_NO_FATAL_FAILURE(StartDevice(""));
    const std::string warnings =
        "Warning: line 49 of the file gives data for 0x00010020 to 0x0001003F, which an earlier "
        "line gave already; both are written\n"
        "Warning: lines 51 to 99 of the file follow the end record and are not loaded\n";
    for (const char* options : {"--dry-run", "-q --timeout 5 --port PORT"}) {
        const int exitCode = Run(std::string(options) + " WARN");
        ASSERT_EQ(exitCode, 0) << err;
        EXPECT_EQ(err.substr(0, warnings.size()), warnings) << options;
    }
    device->Stop();
    ExpectDeviceHolds(names["FILE"]);
}

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
