#pragma once
// What the end-to-end tests of tovik-cli share besides their files (cli_test_files.h): the
// virtual device in this process (tovik-sim's, set up from tovik-sim's own options, so that every
// test also sees the commands that reached it), and tovik-cli run as a separate program whose
// output, exit code and device image are checked.

#include "sim/sim_command_line.h"
#include "sim/virtual_device.h"

#include "cli_test_files.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_programs.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace cli_e2e {

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

    // The words of tovik-cli's command line: the program, then `args` with the words in `names`
    // replaced.
    std::vector<std::string> CommandWords(const std::string& args) {
        std::vector<std::string> words = Words(args);
        for (std::string& word : words) {
            word = names.count(word) ? names[word] : word;
        }
        words.insert(words.begin(), TestProgram(TOVIK_CLI_PATH));
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

    // Starts tovik-cli with CommandWords(args); stdin empty (or the pipe from pipeIn, as a shell
    // makes it), stdout and stderr going to files, or closed with closeOutput.
    void Spawn(const std::string& args, bool closeOutput = false) {
        std::ofstream(scratch / "cli.out").close();
        std::ofstream(scratch / "cli.err").close();
        std::vector<std::string> words = CommandWords(args);
        if (!pipeIn.empty()) {
            words = {"/bin/sh", "-c", "cat '" + pipeIn + "' | exec " + CommandLine(args)};
        }
        EXPECT_TRUE(closeOutput ? cli.Start(words, ChildOutput::Closed(), ChildOutput::Closed())
                                : cli.Start(words, ChildOutput::File(scratch / "cli.out"),
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

} // namespace cli_e2e
