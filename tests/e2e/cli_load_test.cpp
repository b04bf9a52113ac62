// tovik-cli as a user runs it: a separate process loading S-record files made by objcopy and
// srec_cat into a virtual device on a pseudo-terminal. What the device ends up holding is checked
// against what srec_cat reads from the same file, and the exit codes against what scripts rely on.
//
// The device is either the tovik-sim program (for its fault options and its dump) or a
// VirtualDevice in this process, when a test needs the list of commands that reached it.

#include "sim/virtual_device.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <spawn.h>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A program that has not ended by then is taken to hang.
constexpr seconds kRunPatience{30};

// ---------------------------------------------------------------------------------------------
// Files

// A directory of the test's own, empty, named after the test.
std::string TestDirectory() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    const std::string dir = ::testing::TempDir() + "tovik_cli_" + name;
    RunCommand("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
    return dir;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

enum class Tool { kObjcopy, kSrecCat };

struct Range {
    uint32_t address;
    size_t size;
};

// How a test firmware file is made. objcopy takes one range; it picks S1 or S2 by the highest
// address, and S3 when told to force it (addressBytes 4). srec_cat is told the address length.
struct Firmware {
    const char* name;
    Tool tool;
    int addressBytes; // 2, 3 or 4: S1, S2 or S3 records
    int recordLength; // data bytes per record
    std::vector<Range> ranges;
};

// Names the file in test names and messages (the default would print the object's bytes).
void PrintTo(const Firmware& firmware, std::ostream* out) {
    *out << firmware.name;
}

size_t DataBytes(const Firmware& firmware) {
    size_t bytes = 0;
    for (const Range& range : firmware.ranges) {
        bytes += range.size;
    }
    return bytes;
}

// Makes the file from random bytes (a fixed seed per range) and returns its path in *path.
void MakeFirmware(const std::string& dir, const Firmware& firmware, std::string* path) {
    *path = dir + "/" + firmware.name + ".s19";
    std::string command;
    for (size_t i = 0; i < firmware.ranges.size(); ++i) {
        const Range& range = firmware.ranges[i];
        std::mt19937 random(static_cast<unsigned>(1000 + i));
        std::vector<char> data(range.size);
        for (char& b : data) {
            b = static_cast<char>(random());
        }
        const std::string bin = dir + "/" + firmware.name + "_" + std::to_string(i) + ".bin";
        std::ofstream(bin, std::ios::binary).write(data.data(), std::streamsize(data.size()));
        command += " " + bin + " -binary -offset " + std::to_string(range.address);
    }
    const std::string length = std::to_string(firmware.recordLength);
    if (firmware.tool == Tool::kObjcopy) {
        ASSERT_EQ(firmware.ranges.size(), 1u) << "objcopy makes one range per file";
        command = "objcopy -I binary -O srec --srec-len " + length + " --change-addresses " +
                  std::to_string(firmware.ranges[0].address) +
                  (firmware.addressBytes == 4 ? " --srec-forceS3 " : " ") + dir + "/" +
                  firmware.name + "_0.bin " + *path;
    } else {
        // tovik-cli reads S0, data and S7/S8/S9 only: no count record, and an end record needs a
        // start address.
        command = "srec_cat" + command + " -o " + *path +
                  " -Motorola -address-length=" + std::to_string(firmware.addressBytes) +
                  " -Output_Block_Size " + length +
                  " -disable=data-count -execution-start-address=" +
                  std::to_string(firmware.ranges[0].address);
    }
    ASSERT_EQ(RunCommand(command), 0) << command;
    // The tools choose the record type themselves; make sure the file has the one asked for.
    const std::string wanted = "S" + std::to_string(firmware.addressBytes - 1);
    for (const std::string& line : Lines(ReadText(*path))) {
        if (line.rfind("S0", 0) != 0) {
            ASSERT_EQ(line.substr(0, 2), wanted) << *path;
            break;
        }
    }
}

const Firmware kSmallFirmware{"small", Tool::kObjcopy, 3, 32, {{0x10000, 1500}}};

// Both made into plain binaries by srec_cat (gaps as zeros from address 0) and compared.
void ExpectSameImage(const std::string& dir, const std::string& dump, const std::string& file) {
    ASSERT_EQ(RunCommand("srec_cat " + dump + " -o " + dir + "/device.bin -binary"), 0);
    ASSERT_EQ(RunCommand("srec_cat " + file + " -o " + dir + "/file.bin -binary"), 0);
    EXPECT_EQ(RunCommand("cmp " + dir + "/file.bin " + dir + "/device.bin"), 0)
        << "the device holds other bytes than " << file;
}

// ---------------------------------------------------------------------------------------------
// Running tovik-cli

bool PollUntil(const std::function<bool()>& condition, milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

// tovik-cli started with stdout and stderr going to DIR/TAG.out and DIR/TAG.err, and stdin
// empty. Killed on the way out if it is still running.
class CliProcess {
public:
    CliProcess(const std::string& dir, const std::string& tag, const std::vector<std::string>& args)
        : m_out(dir + "/" + tag + ".out"), m_err(dir + "/" + tag + ".err") {
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&files, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        // The device thread of an in-process VirtualDevice may have signals blocked; the program
        // must start with the usual mask and actions so that SIGINT reaches its handler.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t signals;
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        std::vector<std::string> strings = {TOVIK_CLI_PATH};
        strings.insert(strings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& s : strings) {
            argv.push_back(s.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &files, &attributes, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&files);
    }
    ~CliProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t Pid() const { return m_pid; }

    // The exit status; -1 when it did not start, ended by a signal or had to be killed because it
    // was still running after `patience` (a test failure of its own).
    int Wait(milliseconds patience = kRunPatience) {
        if (m_pid <= 0) {
            ADD_FAILURE() << "tovik-cli did not start";
            return -1;
        }
        int status = 0;
        bool ended =
            PollUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, patience);
        if (!ended) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            ADD_FAILURE() << "tovik-cli still ran after " << patience.count() << " ms; stderr:\n"
                          << Err();
        }
        m_pid = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Out() const { return ReadText(m_out); }
    std::string Err() const { return ReadText(m_err); }

private:
    pid_t m_pid = -1;
    std::string m_out;
    std::string m_err;
};

// ---------------------------------------------------------------------------------------------
// Devices

// Loads `file` into a tovik-sim process started with `simOptions`, expects `expectedExit` and,
// when the transfer completed (exit 0 or 1), the device's dump to equal the file.
void LoadThroughSim(const std::string& dir, const std::string& file,
                    std::vector<std::string> simOptions, const std::vector<std::string>& cliOptions,
                    int expectedExit, milliseconds patience = kRunPatience) {
    const std::string dump = dir + "/dump.s19";
    simOptions.insert(simOptions.end(), {"--dump", dump});
    SimProcess sim(simOptions);
    ASSERT_FALSE(sim.SlavePath().empty()) << "tovik-sim did not announce its port";
    std::vector<std::string> args = {"--port", sim.SlavePath()};
    args.insert(args.end(), cliOptions.begin(), cliOptions.end());
    args.push_back(file);
    CliProcess cli(dir, "cli", args);
    const int exitCode = cli.Wait(patience);
    sim.Stop();
    ASSERT_EQ(exitCode, expectedExit) << "stderr:\n" << cli.Err();
    if (expectedExit == 0 || expectedExit == 1) {
        ExpectSameImage(dir, dump, file);
    }
}

std::vector<sim::ExecutedCommand> CommandsNamed(const std::vector<sim::ExecutedCommand>& log,
                                                const std::string& text) {
    std::vector<sim::ExecutedCommand> named;
    std::copy_if(log.begin(), log.end(), std::back_inserter(named),
                 [&](const sim::ExecutedCommand& c) { return c.text == text; });
    return named;
}

// A "!W" as tovik-cli --dry-run lists a block: address and data length.
std::string BlockLine(const sim::ExecutedCommand& write) {
    uint32_t address = 0;
    for (size_t i = 0; i < 4 && i < write.params.size(); ++i) {
        address = (address << 8) | write.params[i];
    }
    char line[32];
    std::snprintf(line, sizeof line, "0x%08X %zu", static_cast<unsigned>(address),
                  write.params.size() < 4 ? 0 : write.params.size() - 4);
    return line;
}

// ---------------------------------------------------------------------------------------------
// Clean line: record types, record lengths and gaps

class CliLoadsImage : public ::testing::TestWithParam<Firmware> {};

TEST_P(CliLoadsImage, TheDeviceHoldsTheFileByteForByte) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, GetParam(), &file));
    LoadThroughSim(dir, file, {}, {"-q"}, 0);
}

// Below 0x10000 the loader uses shorter blocks, so the S1 files also cover that limit; odd
// addresses and sizes put the gaps in the middle of records.
INSTANTIATE_TEST_SUITE_P(
    Files, CliLoadsImage,
    ::testing::Values(
        Firmware{"S1_objcopy_16", Tool::kObjcopy, 2, 16, {{0x0400, 9000}}},
        Firmware{"S1_srec_cat_32_three_ranges",
                 Tool::kSrecCat,
                 2,
                 32,
                 {{0x0100, 3000}, {0x2345, 1001}, {0x8000, 4096}}},
        Firmware{"S2_objcopy_32", Tool::kObjcopy, 3, 32, {{0x10000, 12000}}},
        Firmware{
            "S2_srec_cat_64_two_ranges", Tool::kSrecCat, 3, 64, {{0x20000, 5000}, {0x2F001, 777}}},
        Firmware{"S3_objcopy_64", Tool::kObjcopy, 4, 64, {{0x30000, 10000}}},
        Firmware{"S3_srec_cat_16_three_ranges",
                 Tool::kSrecCat,
                 4,
                 16,
                 {{0x40000, 2000}, {0x41000, 999}, {0x50003, 3333}}}),
    [](const ::testing::TestParamInfo<Firmware>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Faulty lines and devices

TEST(CliOnAFaultyLine, LoadsWhenEveryFirstCopyOfAFrameIsLost) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    // Every command costs a retransmission here; --timeout only ends a search that finds nothing.
    LoadThroughSim(dir, file, {"--drop-first"}, {"-q", "--timeout", "5"}, 0);
}

TEST(CliOnAFaultyLine, LoadsThroughJunkAndForeignFrames) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    LoadThroughSim(dir, file, {"--noise"}, {"-q"}, 0);
}

TEST(CliOnAFaultyLine, AFailedEraseIsRepeatedBeforeAnythingIsWritten) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    SimOptions options;
    options.eraseFailOnce = 3;
    options.dumpPath = dir + "/dump.s19";
    VirtualDevice device(options);
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;

    CliProcess cli(dir, "cli", {"-q", "--port", device.SlavePath(), file});
    ASSERT_EQ(cli.Wait(), 0) << cli.Err();
    device.Stop();

    const std::vector<sim::ExecutedCommand> log = device.CommandLog();
    auto failed = std::find_if(log.begin(), log.end(), [](const sim::ExecutedCommand& c) {
        return c.text == "!E" && c.error == sim::kErrorEraseFailed;
    });
    ASSERT_NE(failed, log.end()) << "the device never played the failed erase";
    size_t lastErase = 0;
    size_t firstWrite = log.size();
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].text == "!E") {
            lastErase = i;
        } else if (log[i].text == "!W" && firstWrite == log.size()) {
            firstWrite = i;
        }
    }
    ASSERT_LT(firstWrite, log.size()) << "nothing was written";
    EXPECT_LT(lastErase, firstWrite) << "programming began before a complete erase";
    const std::map<int, unsigned> erased = device.EraseCounts();
    for (int cluster = 1; cluster <= 7; ++cluster) {
        EXPECT_EQ(erased.count(cluster), 1u) << "cluster " << cluster << " was never erased";
    }
    ASSERT_TRUE(device.WriteDump(&error)) << error;
    ExpectSameImage(dir, options.dumpPath, file);
}

TEST(CliOnAFaultyLine, ARefusedWriteEndsTheRunWithoutStartingTheDevice) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    SimOptions options;
    options.writeError = 0x2A;
    VirtualDevice device(options);
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;

    CliProcess cli(dir, "cli", {"-q", "--port", device.SlavePath(), file});
    EXPECT_EQ(cli.Wait(), 6) << cli.Err();
    device.Stop();

    const std::vector<sim::ExecutedCommand> log = device.CommandLog();
    const std::vector<sim::ExecutedCommand> writes = CommandsNamed(log, "!W");
    ASSERT_EQ(writes.size(), 1u) << "writing went on after the device refused";
    EXPECT_EQ(writes[0].error, 0x2Au);
    EXPECT_TRUE(CommandsNamed(log, "!G").empty()) << "a refused image was started";
    EXPECT_NE(cli.Err().find("refused a write (reply 42)"), std::string::npos) << cli.Err();
}

// Waits out the loader's 60 s for the start reply: the device offers no quicker way to leave the
// start unconfirmed.
TEST(CliOnAFaultyLine, AnUnansweredStartStillLeavesTheImageInPlace) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    LoadThroughSim(dir, file, {"--go-silent"}, {"-q"}, 1, seconds(90));
    const std::string out = ReadText(dir + "/cli.out");
    EXPECT_NE(out.find("Transmission complete."), std::string::npos) << out;
    EXPECT_EQ(out.find("Device started."), std::string::npos) << out;
}

// ---------------------------------------------------------------------------------------------
// Bad input: nothing may reach the device

TEST(CliRefusesBadInput, AWrongChecksumNamesItsLineAndErasesNothing) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(
        MakeFirmware(dir, Firmware{"corrupt", Tool::kSrecCat, 4, 16, {{0x10000, 2000}}}, &file));
    // Near the end, so a loader that only checked while programming would already have erased.
    std::vector<std::string> lines = Lines(ReadText(file));
    const size_t badLine = lines.size() - 3; // 1-based
    std::string& line = lines[badLine - 1];
    ASSERT_EQ(line.substr(0, 2), "S3");
    char& digit = line.back() == '\r' ? line[line.size() - 2] : line.back();
    digit = digit == '0' ? '1' : '0';
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        for (const std::string& l : lines) {
            out << l << '\n';
        }
    }

    VirtualDevice device(SimOptions{});
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;
    CliProcess cli(dir, "cli", {"-q", "--timeout", "5", "--port", device.SlavePath(), file});
    EXPECT_EQ(cli.Wait(), 3) << cli.Err();
    device.Stop();

    const std::string message =
        "Sorry, line " + std::to_string(badLine) + " of the file has a wrong checksum !";
    EXPECT_NE(cli.Err().find(message), std::string::npos) << cli.Err();
    EXPECT_TRUE(CommandsNamed(device.CommandLog(), "!E").empty());
    EXPECT_TRUE(device.EraseCounts().empty());
}

TEST(CliRefusesBadInput, UsageFileAndPortErrorsHaveTheirExitCodes) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    const std::string noPort = dir + "/no-such-port";

    CliProcess noFile(dir, "no_file", {"--port", noPort});
    EXPECT_EQ(noFile.Wait(), 2) << noFile.Err();

    CliProcess missing(dir, "missing", {"--port", noPort, dir + "/missing.s19"});
    EXPECT_EQ(missing.Wait(), 3) << missing.Err();

    CliProcess port(dir, "port", {"-q", "--port", noPort, file});
    EXPECT_EQ(port.Wait(), 4) << port.Err();
    EXPECT_NE(port.Err().find(noPort), std::string::npos) << port.Err();
}

TEST(CliRefusesBadInput, NoDeviceAnsweringEndsAtTheTimeout) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    // A device is there, but deaf at the rate the loader uses.
    LoadThroughSim(dir, file, {"--baud-only", "115200"},
                   {"-q", "--baud", "38400", "--timeout", "0.5"}, 5, seconds(10));
    EXPECT_NE(ReadText(dir + "/cli.err").find("no device answered"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Blocks, baud rates and stopping

TEST(CliBlocks, TheDryRunListsExactlyTheBlocksTheRunWrites) {
    const std::string dir = TestDirectory();
    // Crosses 0x10000 (the block limit changes there), with gaps and an odd start.
    const Firmware firmware{
        "blocks", Tool::kSrecCat, 3, 64, {{0xFF00, 700}, {0x10800, 3000}, {0x20001, 501}}};
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, firmware, &file));
    VirtualDevice device(SimOptions{});
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;

    // Given the port, a dry run must still leave the line alone.
    CliProcess dry(dir, "dry", {"--dry-run", "--port", device.SlavePath(), file});
    ASSERT_EQ(dry.Wait(), 0) << dry.Err();
    EXPECT_EQ(device.BytesReceived(), 0u) << "the dry run sent something";
    CliProcess run(dir, "run", {"-q", "--port", device.SlavePath(), file});
    ASSERT_EQ(run.Wait(), 0) << run.Err();
    device.Stop();

    std::vector<std::string> listed = Lines(dry.Out());
    ASSERT_FALSE(listed.empty());
    const std::string totals = listed.back();
    listed.pop_back();
    std::vector<std::string> written;
    for (const sim::ExecutedCommand& write : CommandsNamed(device.CommandLog(), "!W")) {
        written.push_back(BlockLine(write));
    }
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(listed, written);

    int blocks = 0;
    unsigned long long bytes = 0;
    int lines = 0;
    ASSERT_EQ(
        std::sscanf(totals.c_str(), "%d blocks, %llu bytes, %d lines", &blocks, &bytes, &lines), 3)
        << totals;
    EXPECT_EQ(blocks, static_cast<int>(written.size()));
    EXPECT_EQ(bytes, DataBytes(firmware));
    EXPECT_EQ(lines, static_cast<int>(Lines(ReadText(file)).size()));
}

TEST(CliBaud, AutomaticRateFindsADeviceAtTheOtherRate) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    LoadThroughSim(dir, file, {"--baud-only", "57600"}, {"-q", "--baud", "auto", "--timeout", "5"},
                   0);
}

TEST(CliBaud, TheBuiltInDeviceTakesTheImage) {
    const std::string dir = TestDirectory();
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, kSmallFirmware, &file));
    CliProcess cli(dir, "cli", {"-q", "--simulate", "--baud", "115200", file});
    ASSERT_EQ(cli.Wait(), 0) << cli.Err();
    EXPECT_NE(cli.Out().find("Device started."), std::string::npos) << cli.Out();
}

TEST(CliStop, SigintWhileProgrammingStopsBeforeTheStart) {
    const std::string dir = TestDirectory();
    const Firmware firmware{"large", Tool::kObjcopy, 3, 32, {{0x10000, 32768}}};
    std::string file;
    ASSERT_NO_FATAL_FAILURE(MakeFirmware(dir, firmware, &file));
    // Paced like a real 38400 baud line, the transfer takes seconds: time enough to interrupt.
    SimOptions options;
    options.wireBaud = 38400;
    VirtualDevice device(options);
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;

    CliProcess cli(dir, "cli", {"--port", device.SlavePath(), "--baud", "38400", file});
    ASSERT_TRUE(
        PollUntil([&] { return !CommandsNamed(device.CommandLog(), "!W").empty(); }, seconds(20)))
        << "no write reached the device; stderr:\n"
        << cli.Err();
    ASSERT_EQ(::kill(cli.Pid(), SIGINT), 0);
    EXPECT_EQ(cli.Wait(seconds(10)), 130) << cli.Err();
    device.Stop();

    EXPECT_TRUE(CommandsNamed(device.CommandLog(), "!G").empty()) << "started after Ctrl-C";
    EXPECT_LT(device.Memory().ByteCount(), DataBytes(firmware)) << "the whole image went over";
    EXPECT_NE(cli.Err().find("partly programmed"), std::string::npos) << cli.Err();
}

} // namespace
