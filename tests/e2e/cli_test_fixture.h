#pragma once
// What the end-to-end tests of tovik-cli share besides their files (cli_test_files.h): the
// virtual device in this process (tovik-sim's, set up from tovik-sim's own options, so that every
// test also sees the commands that reached it), and tovik-cli run as a separate program whose
// output, exit code and device image are checked. Where several devices or another user are
// needed, the devices are tovik-sim processes instead (StartSim).

#include "sim/sim_command_line.h"
#include "sim/virtual_device.h"

#include "cli_test_files.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/test_programs.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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
    std::vector<std::unique_ptr<SimProcess>> sims; // tovik-sim processes, from StartSim
    std::vector<std::string> runUnder; // in front of tovik-cli and the sims: empty, setpriv ...

    void TearDown() override {
        cli.Kill();
        device.reset();
        sims.clear();
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

    // A tovik-sim process with its dump in dir/dumpN.s19; its port.
    std::string StartSim(const std::string& options) {
        std::vector<std::string> words = runUnder;
        words.push_back(TestProgram(TOVIK_SIM_PATH));
        for (const std::string& w :
             Words("--dump " + dir + "/dump" + std::to_string(sims.size()) + ".s19 " + options)) {
            words.push_back(w);
        }
        sims.push_back(std::make_unique<SimProcess>(
            words.front(), std::vector<std::string>(words.begin() + 1, words.end())));
        EXPECT_TRUE(sims.back()->Ready()) << "tovik-sim did not start";
        return sims.back()->SlavePath();
    }

    // The words of tovik-cli's command line: the program, then `args` with the words in `names`
    // replaced.
    std::vector<std::string> CommandWords(const std::string& args) {
        std::vector<std::string> words = Words(args);
        for (std::string& word : words) {
            word = names.count(word) ? names[word] : word;
        }
        words.insert(words.begin(), TestProgram(TOVIK_CLI_PATH));
        words.insert(words.begin(), runUnder.begin(), runUnder.end());
        return words;
    }

    // `text` with each of the words in `names` replaced wherever it stands.
    std::string Fill(std::string text) {
        for (const auto& [key, value] : names) {
            for (size_t at = 0; (at = text.find(key, at)) != std::string::npos;
                 at += value.size()) {
                text.replace(at, key.size(), value);
            }
        }
        return text;
    }

    // stdout read as JSON lines by a strict reader: every line one object, the last one ended.
    std::vector<nlohmann::json> JsonLines() {
        std::vector<nlohmann::json> objects;
        EXPECT_TRUE(out.empty() || out.back() == '\n') << "the last line has no newline";
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            objects.push_back(nlohmann::json::parse(line, nullptr, false));
            EXPECT_TRUE(objects.back().is_object()) << "not a JSON object: " << line;
        }
        return objects;
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

    int Run(const std::string& args, std::chrono::milliseconds patience = 60s) {
        Spawn(args);
        return Wait(patience);
    }

    // Whether a device's dump in dir and the file, both made plain binaries by srec_cat (gaps as
    // zeros from address 0), are equal.
    bool DumpHolds(const std::string& dump, const std::string& file) {
        return RunShell("cd " + dir + " && srec_cat " + dump + " -o " + dump +
                        ".bin -binary && srec_cat " + file + " -o file.bin -binary && cmp -s " +
                        "file.bin " + dump + ".bin") == 0;
    }

    void ExpectDeviceHolds(const std::string& file) {
        ASSERT_TRUE(device->WriteDump());
        EXPECT_TRUE(DumpHolds("dump.s19", file)) << "the device holds other bytes than " << file;
    }

    // Ends tovik-sim process n (it writes its dump on the way out) and compares its image.
    bool DeviceHolds(size_t n, const std::string& file) {
        sims[n]->Stop();
        return DumpHolds("dump" + std::to_string(n) + ".s19", file);
    }

    // What the device must have seen, whatever the exit status.
    void ExpectOrderlyCommands(int exitCode) {
        const std::vector<sim::ExecutedCommand> log = device->CommandLog();
        std::map<std::string, std::vector<size_t>> at; // positions in the log
        for (size_t i = 0; i < log.size(); ++i) {
            at[log[i].text].push_back(i);
        }
        // A command line, a file or a port found wrong: the device is not even looked for.
        if (exitCode >= 2 && exitCode <= 4) {
            EXPECT_TRUE(log.empty()) << "the device was spoken to, though the run could not load";
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

// Some of this port's data went over: a progress event of the programming with bytes in it.
inline bool SomeProgrammed(const std::string& out, const std::string& port) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\"port\":\"" + port + "\"") != std::string::npos &&
            line.find("\"phase\":\"programming\"") != std::string::npos &&
            line.find("\"bytes\":") != std::string::npos &&
            line.find("\"bytes\":0,") == std::string::npos) {
            return true;
        }
    }
    return false;
}

// The processes a process started, as the kernel lists them.
inline std::vector<int> ChildrenOf(int pid) {
    const std::string id = std::to_string(pid);
    std::istringstream in(ReadText("/proc/" + id + "/task/" + id + "/children"));
    return {std::istream_iterator<int>(in), std::istream_iterator<int>()};
}

// The process's state as the kernel shows it (R, S, T for stopped, Z, ...); 0 when there is no
// such process.
inline char StateOf(int pid) {
    const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return paren == std::string::npos || paren + 2 >= stat.size() ? 0 : stat[paren + 2];
}

} // namespace cli_e2e
