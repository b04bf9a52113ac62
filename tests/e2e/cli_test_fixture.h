#pragma once
// What the end-to-end tests of tovik-cli share: firmware files made by objcopy and srec_cat, the
// virtual device in this process (so that every test also sees the commands that reached it), and
// tovik-cli run as a separate program whose output, exit status and device image are checked.

#include "sim/sim_command_line.h"
#include "sim/virtual_device.h"
#include "sim_process.h"

#include "tests/test_temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace cli_e2e {

using namespace std::chrono_literals;

using namespace std::chrono_literals;

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Also the lines of an S-record file, which have no spaces.
inline std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

inline bool PollUntil(const std::function<bool()>& condition, std::chrono::milliseconds patience) {
    const auto end = std::chrono::steady_clock::now() + patience;
    bool met = false;
    while (!(met = condition()) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    return met;
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
inline std::string MakeFirmware(const std::string& dir, const Firmware& firmware) {
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
    EXPECT_EQ(RunCommand(command), 0) << command;
    // The tools choose the record type themselves; make sure the file has the one asked for.
    EXPECT_EQ(Words(ReadText(path)).at(1).substr(0, 2),
              "S" + std::to_string(firmware.addressBytes - 1))
        << path;
    return path;
}

// A scratch folder for the test; parameterised test names hold "/", which must not nest folders.
inline std::string FlatName(std::string name) {
    std::replace(name.begin(), name.end(), '/', '_');
    return TestTempDir(name);
}

class Cli : public ::testing::Test {
protected:
    // A directory of the test's own, emptied in SetUp(), named after the test.
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string dir =
        FlatName(std::string("cli-") + info->test_suite_name() + "." + info->name());
    std::unique_ptr<VirtualDevice> device;
    std::map<std::string, std::string> names; // PORT, FILE and the like in tovik-cli's arguments
    pid_t cli = -1;                           // tovik-cli while it runs
    std::string out, err;                     // what it wrote

    void SetUp() override { RunCommand("rm -rf '" + dir + "' && mkdir -p '" + dir + "'"); }
    void TearDown() override {
        if (cli > 0) {
            ::kill(cli, SIGKILL);
            ::waitpid(cli, nullptr, 0);
        }
        device.reset();
        // A failed test leaves its files for a look.
        if (!HasFailure()) {
            RunCommand("rm -rf '" + dir + "'");
        }
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

    // The words of tovik-cli's command line: the program, then `args` with the words in `names`
    // replaced.
    std::vector<std::string> CommandWords(const std::string& args) {
        std::vector<std::string> words = Words(args);
        for (std::string& word : words) {
            word = names.count(word) ? names[word] : word;
        }
        words.insert(words.begin(), TOVIK_CLI_PATH);
        return words;
    }

    // The same as one line for a shell (the paths and options here hold no quotes).
    std::string CommandLine(const std::string& args) {
        std::string line;
        for (const std::string& word : CommandWords(args)) {
            line += (line.empty() ? "'" : " '") + word + "'";
        }
        return line;
    }

    // Starts tovik-cli with CommandWords(args); stdin empty, stdout and stderr going to files, or
    // closed with closeOutput.
    void Spawn(const std::string& args, bool closeOutput = false) {
        std::vector<std::string> words = CommandWords(args);
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        const std::string outPath = dir + "/cli.out", errPath = dir + "/cli.err";
        const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
        cli = ::fork();
        if (cli == 0) {
            // Async-signal-safe calls only: the device thread runs on in the parent.
            ::dup2(::open("/dev/null", O_RDONLY | O_CLOEXEC), 0);
            ::dup2(::open(outPath.c_str(), flags, 0644), 1);
            ::dup2(::open(errPath.c_str(), flags, 0644), 2);
            if (closeOutput) {
                ::close(1);
                ::close(2);
            }
            // Nothing of this process either, such as the device's end of the pseudo-terminal:
            // a device that goes away must be gone for tovik-cli too.
            for (int fd = 3; fd < 1024; ++fd) {
                ::close(fd);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }

    // The exit status; -1 when it ended by a signal or still ran after `patience`.
    int Wait(std::chrono::milliseconds patience) {
        int status = 0;
        const bool ended =
            cli > 0 && PollUntil([&] { return ::waitpid(cli, &status, WNOHANG) == cli; }, patience);
        cli = ended ? -1 : cli;
        out = ReadText(dir + "/cli.out");
        err = ReadText(dir + "/cli.err");
        EXPECT_TRUE(ended) << "tovik-cli did not start or still ran; stderr:\n" << err;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int Run(const std::string& args, std::chrono::milliseconds patience = 30s) {
        Spawn(args);
        return Wait(patience);
    }

    // The device's memory and the file, both made plain binaries by srec_cat (gaps as zeros from
    // address 0), must be equal.
    void ExpectDeviceHolds(const std::string& file) {
        ASSERT_TRUE(device->WriteDump());
        EXPECT_EQ(RunCommand("cd " + dir +
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

} // namespace cli_e2e
