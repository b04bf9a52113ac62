// tovik-cli on a production line: --json read by a program, and several ports at once, each a
// tovik-sim process on its own pseudo-terminal whose image must equal the file. Waiting for a port
// that appears late is wait_port_test's.

#include "cli_test_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace cli_e2e;

using nlohmann::json;

TEST_F(Cli, JsonLinesOfALoad) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    // Lines are counted as an editor counts them, the last one without its CR LF too.
    ASSERT_EQ(RunShell("cp " + names["FILE"] + " " + dir + "/whole.s19 && truncate -s -2 " +
                       names["FILE"]),
              0);
    const std::string text = ReadText(names["FILE"]);
    const long lines = std::count(text.begin(), text.end(), '\n') + 1;
    // The device's fixed name (--link) replaces what an earlier run left there. A failed erase
    // pass sends the run back to searching, a phase of its own from the rate that answered.
    names["PORT"] = dir + "/ttyMarlex";
    std::ofstream(names["PORT"]) << "left over from an earlier run";
    StartSim("--erase-fail-once 3 --link " + names["PORT"]);
    // The dry run's last line: "N blocks, N bytes, N lines".
    ASSERT_EQ(Run("--dry-run FILE"), 0) << err;
    const std::vector<std::string> listed = Words(out);
    ASSERT_GE(listed.size(), 6u);
    const long long blocks = std::atoll(listed[listed.size() - 6].c_str());
    ASSERT_GT(blocks, 1);
    EXPECT_EQ(listed[listed.size() - 2], std::to_string(lines)) << out;
    ASSERT_EQ(Run("--json --baud 115200 --port PORT FILE"), 0) << err;
    const std::vector<json> objects = JsonLines();
    ASSERT_GE(objects.size(), 5u) << out;
    std::string phases;
    long long lastBytes = -1;
    for (const json& o : objects) {
        EXPECT_EQ(o["port"], names["PORT"]);
        EXPECT_TRUE(o["seconds"].is_number()) << o;
        if (o["event"] == "phase") {
            phases += o["phase"].get<std::string>() +
                      (o.contains("baud") ? " " + o["baud"].dump() : std::string()) + ",";
        } else if (o["event"] == "progress" && o["phase"] == "programming") {
            EXPECT_GE(o["bytes"], lastBytes) << "programming went backwards";
            lastBytes = o["bytes"];
            EXPECT_EQ(o["bytes_total"], 1500);
        }
    }
    EXPECT_EQ(objects.front()["event"], "begin");
    EXPECT_EQ(objects.front()["bytes_total"], 1500);
    EXPECT_EQ(objects.front()["lines"], lines);
    // The wait for the start's reply is shown when a look falls into it: a moment, here.
    EXPECT_EQ(phases.substr(0, phases.find("starting")),
              "searching 115200,erasing 115200,searching 115200,erasing 115200,programming,");
    EXPECT_EQ(lastBytes, 1500) << "no progress line at the end of programming";
    const json& result = objects.back();
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["exit_code"], 0);
    EXPECT_EQ(result["message"], "Transmission complete.\nDevice started.");
    EXPECT_EQ(result["bytes"], 1500);
    EXPECT_EQ(result["blocks"], blocks) << "not the blocks the dry run listed";
    EXPECT_EQ(result["baud"], 115200);
    // What a person sees stays on stderr.
    EXPECT_NE(err.find("Programming"), std::string::npos) << err;
    EXPECT_NE(err.find("Transmission complete."), std::string::npos) << err;
    EXPECT_TRUE(DeviceHolds(0, dir + "/whole.s19"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(names["PORT"])))
        << "the device's link outlived it";
}

// Three devices at once, loaded by a user without rights (each device run by the same user, who
// then owns its pseudo-terminal), from a file that can be read only once (a pipe) or is no
// S-record file at all: the parent reads and checks it once, and every child loads the bytes the
// parent checked.
TEST_F(Cli, SeveralStationsAllLoadAPipeAsAUserWithoutRights) {
    if (::geteuid() == 0) {
        if (RunShell("command -v setpriv >/dev/null") != 0) {
            GTEST_SKIP() << "needs setpriv to run as another user";
        }
        runUnder = Words("setpriv --reuid=65534 --regid=65534 --clear-groups");
        // That user writes the dumps and reads the file.
        ::chmod(dir.c_str(), 0777);
    }
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    std::string args = "--baud 115200";
    std::vector<std::string> ports;
    for (int i = 0; i < 3; ++i) {
        ports.push_back(StartSim(""));
        args += " --port " + ports.back();
    }
    pipeIn = dir + "/bad.s19";
    std::ofstream(pipeIn) << "S0030000FC\nS1130000garbage\n";
    EXPECT_EQ(Run(args + " -"), 3) << err;
    // Told once, by the parent, before any child began.
    EXPECT_NE(err.find("Sorry, line 2"), std::string::npos) << err;
    EXPECT_EQ(err.find("Sorry, line 2"), err.rfind("Sorry, line 2")) << err;
    pipeIn = file;
    ASSERT_EQ(Run(args + " -"), 0) << err;
    EXPECT_NE(out.find("tovik-cli: all 3 devices loaded"), std::string::npos) << out;
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_NE(out.find(ports[i] + "  exit 0 "), std::string::npos) << out;
        EXPECT_TRUE(DeviceHolds(i, file)) << ports[i];
    }
    // The log (stderr is no terminal): each port's phases and its end.
    for (const std::string& port : ports) {
        EXPECT_NE(err.find(port + "  programming  100%"), std::string::npos) << err;
        EXPECT_NE(err.find(port + "  done"), std::string::npos) << err;
    }
}

// The summary's line of a port ("  PORT  exit N  message"); empty when there is none.
std::string SummaryLine(const std::string& text, const std::string& port) {
    const size_t at = text.find("\n  " + port + " ");
    return at == std::string::npos ? std::string()
                                   : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST_F(Cli, OneFailingAmongSeveral) {
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    const std::string good = StartSim("");
    const std::string refusing = StartSim("--write-err 0000002A");
    const std::string missing = dir + "/ttyNONE";
    const std::map<std::string, int> expected{{good, 0}, {refusing, 6}, {missing, 4}};
    ASSERT_EQ(
        Run("--json --port " + good + " --port " + refusing + " --port " + missing + " " + file), 8)
        << err;
    const std::vector<json> objects = JsonLines();
    std::map<std::string, int> results;
    for (const json& o : objects) {
        if (o["event"] == "result") {
            EXPECT_EQ(results.count(o["port"]), 0u) << "two results for " << o["port"];
            results[o["port"]] = o["exit_code"];
        } else if (o["event"] != "summary") {
            EXPECT_EQ(expected.count(o.value("port", "")), 1u) << "a line of no port given";
        }
    }
    EXPECT_EQ(results, expected);
    const json& summary = objects.back();
    EXPECT_EQ(summary["event"], "summary");
    EXPECT_EQ(summary["exit_code"], 8);
    EXPECT_EQ(summary["failed"], 2);
    // The summary for a person names each port's own code and message.
    EXPECT_NE(err.find("tovik-cli: some devices failed (2 of 3)"), std::string::npos) << err;
    EXPECT_NE(SummaryLine(err, refusing)
                  .find(" exit 6    Protocollerror ! the device refused the write at 0x00010000 "
                        "(error 42)"),
              std::string::npos)
        << err;
    EXPECT_NE(SummaryLine(err, missing).find(" exit 4    "), std::string::npos) << err;
}

// The --port a child of tovik-cli was given.
std::string PortOf(int pid) {
    std::istringstream in(ReadText("/proc/" + std::to_string(pid) + "/cmdline"));
    std::vector<std::string> words;
    for (std::string word; std::getline(in, word, '\0');) {
        words.push_back(word);
    }
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "--port") {
            return words[i + 1];
        }
    }
    return std::string();
}

// The signals sent to the process that it has not taken yet.
uint64_t PendingSignals(int pid) {
    const std::string status = ReadText("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("ShdPnd:");
    return at == std::string::npos ? 0 : std::strtoull(status.c_str() + at + 7, nullptr, 16);
}

constexpr uint64_t SignalBit(int number) {
    return uint64_t{1} << (number - 1);
}

// Ended: no such process any more, or one left for its parent to reap.
bool Gone(int pid) {
    const char state = StateOf(pid);
    return state == 0 || state == 'Z' || state == 'X';
}

// How a load into several ports is cut short while every port is programming.
enum class Cut {
    kInterruptOnce,  // Ctrl-C to tovik-cli: every child stops after the command in flight
    kInterruptTwice, // Ctrl-C and then SIGTERM to tovik-cli: the second ends every child at once
    kKillOneChild,   // SIGKILL to the child of the second port
    kLoseOneDevice,  // the second port's device process killed: the line hangs up
};

struct Cutting {
    const char* name;
    Cut cut;
    const char* told; // in the summary line of the ports cut short
};

const Cutting kCuttings[] = {
    {"InterruptedOnce", Cut::kInterruptOnce,
     " exit 130  stopped; the device is erased or only partly programmed"},
    {"InterruptedTwice", Cut::kInterruptTwice,
     " exit 130  interrupted again during programming, after "},
    {"OneChildKilled", Cut::kKillOneChild,
     " exit 137  tovik-cli ended without a result (exit 137) during programming, after "},
    // The child tells this itself, on two lines: one line in the summary, not run together.
    {"OneDeviceLost", Cut::kLoseOneDevice,
     " exit 4    the port PORT was lost during programming; it is only partly programmed; the "
     "system said: "},
};

class CutShort : public Cli, public ::testing::WithParamInterface<Cutting> {};

// What each port's result and summary line say of a load that was cut short: how far it came
// (bytes and blocks as its last progress event said, the rate) and what became of the device;
// the ports not cut short load the whole file.
TEST_P(CutShort, EachPortToldHowFarItCame) {
    const Cutting& c = GetParam();
    const std::string file = MakeFirmware(dir, Firmware{"large", 3, 32, {{0x10000, 16384}}});
    // A note behind the end record: one warning, which every port's result counts.
    std::ofstream(file, std::ios::app) << "made for this test\n";
    std::vector<std::string> ports;
    std::string args = "--json";
    for (int i = 0; i < 3; ++i) {
        // Paced like a real 38400 baud line: each load takes seconds.
        ports.push_back(StartSim("--wire-baud 38400"));
        args += " --port " + ports.back();
    }
    Spawn(args + " " + file);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string o = ReadText(scratch / "cli.out");
            return std::all_of(ports.begin(), ports.end(),
                               [&](const std::string& port) { return SomeProgrammed(o, port); });
        },
        60s))
        << ReadText(scratch / "cli.err");
    std::map<std::string, int> childOf;
    for (int pid : ChildrenOf(cli.Pid())) {
        childOf[PortOf(pid)] = pid;
    }
    ASSERT_EQ(childOf.size(), 3u);
    std::vector<std::string> cut{ports[1]};
    const bool interrupted = c.cut == Cut::kInterruptOnce || c.cut == Cut::kInterruptTwice;
    switch (c.cut) {
    case Cut::kInterruptOnce:
        cut = ports;
        ASSERT_TRUE(cli.Signal(SIGINT));
        break;
    case Cut::kInterruptTwice: {
        cut = ports;
        // The children held still until both interrupts have reached them, each as a signal of
        // its own: they cannot end in between, however busy the machine.
        for (const auto& child : childOf) {
            ::kill(child.second, SIGSTOP);
        }
        // Stopped for good: until then a child could take the interrupts before its stop.
        ASSERT_TRUE(WaitUntil([&] {
            return std::all_of(childOf.begin(), childOf.end(),
                               [](const auto& child) { return StateOf(child.second) == 'T'; });
        }));
        ASSERT_TRUE(cli.Signal(SIGINT));
        ASSERT_TRUE(cli.Signal(SIGTERM));
        const uint64_t both = SignalBit(SIGINT) | SignalBit(SIGTERM);
        EXPECT_TRUE(WaitUntil([&] {
            return std::all_of(childOf.begin(), childOf.end(), [&](const auto& child) {
                return (PendingSignals(child.second) & both) == both;
            });
        })) << "the second interrupt did not reach every child as a signal of its own";
        for (const auto& child : childOf) {
            ::kill(child.second, SIGCONT);
        }
        break;
    }
    case Cut::kKillOneChild:
        ::kill(childOf[ports[1]], SIGKILL);
        break;
    case Cut::kLoseOneDevice:
        sims[1]->Kill();
        break;
    }
    ASSERT_EQ(Wait(60s), interrupted ? 130 : 8) << err;
    if (interrupted) {
        EXPECT_NE(err.find("tovik-cli: stopped (3 of 3)"), std::string::npos) << err;
    }
    std::map<std::string, json> results;
    std::map<std::string, json> lastProgress;
    for (const json& o : JsonLines()) {
        if (o["event"] == "result") {
            results[o["port"]] = o;
        } else if (o["event"] == "progress" && o["phase"] == "programming") {
            lastProgress[o["port"]] = o;
        }
    }
    ASSERT_EQ(results.size(), 3u) << out;
    names["PORT"] = ports[1];
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string& port = ports[i];
        const std::string line = SummaryLine(err, port);
        if (std::find(cut.begin(), cut.end(), port) == cut.end()) {
            EXPECT_NE(line.find(" exit 0    Transmission complete. Device started."),
                      std::string::npos)
                << err;
            EXPECT_TRUE(DeviceHolds(i, file)) << port;
            continue;
        }
        json& result = results[port];
        EXPECT_EQ(result["warnings"], 1) << port;
        const std::string told = Fill(c.told);
        EXPECT_NE(line.find(told), std::string::npos) << err;
        if (c.cut == Cut::kInterruptOnce) {
            // Each child told its own stop: what it wrote before it is its last word.
            EXPECT_EQ(result["exit_code"], 130) << port;
            EXPECT_GT(result["bytes"].get<long long>(), 0) << out;
            EXPECT_LT(result["bytes"].get<long long>(), 16384) << "the whole image went over";
        }
        if (c.cut == Cut::kLoseOneDevice || c.cut == Cut::kInterruptOnce) {
            continue;
        }
        // "... after N bytes in M blocks at 38400 baud; the device is only partly programmed"
        const long long bytes = std::atoll(line.c_str() + line.find(told) + told.size());
        EXPECT_GT(bytes, 0) << line;
        EXPECT_NE(line.find(" blocks at 38400 baud; the device is only partly programmed"),
                  std::string::npos)
            << line;
        EXPECT_EQ(result["exit_code"], c.cut == Cut::kInterruptTwice ? 130 : 137);
        EXPECT_EQ(result["bytes"], lastProgress[port]["bytes"]) << out;
        EXPECT_EQ(result["blocks"], lastProgress[port]["blocks"]) << out;
        EXPECT_EQ(result["bytes"], bytes);
        EXPECT_EQ(result["baud"], 38400);
        EXPECT_NE(line.find(result["message"].get<std::string>()), std::string::npos)
            << "the summary and the result differ:\n"
            << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CutShort, ::testing::ValuesIn(kCuttings),
                         [](const auto& info) { return std::string(info.param.name); });

// tovik-cli killed outright in the middle of a load leaves no copy of the file behind in the
// temporary folder: the copy it handed its children had no name there.
TEST_F(Cli, KilledParentLeavesNoCopy) {
    const std::string file = MakeFirmware(dir, Firmware{"large", 3, 32, {{0x10000, 16384}}});
    const std::string tmp = dir + "/tmp";
    ASSERT_EQ(::mkdir(tmp.c_str(), 0700), 0);
    const std::vector<std::string> ports{StartSim("--wire-baud 38400"),
                                         StartSim("--wire-baud 38400")};
    runUnder = {"env", "TMPDIR=" + tmp};
    Spawn("--json --port " + ports[0] + " --port " + ports[1] + " " + file);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string o = ReadText(scratch / "cli.out");
            return SomeProgrammed(o, ports[0]) && SomeProgrammed(o, ports[1]);
        },
        60s));
    const auto tmpIsEmpty = [&] { return RunShell("test -z \"$(ls -A '" + tmp + "')\"") == 0; };
    EXPECT_TRUE(tmpIsEmpty()) << "while loading";
    const std::vector<int> children = ChildrenOf(cli.Pid());
    ASSERT_EQ(children.size(), 2u);
    ASSERT_TRUE(cli.Kill());
    EXPECT_TRUE(cli.Wait(20s).ended);
    // Nobody reads the children's lines now; they are stopped as a Ctrl-C would stop them.
    for (int child : children) {
        ::kill(child, SIGINT);
    }
    EXPECT_TRUE(WaitUntil([&] { return std::all_of(children.begin(), children.end(), Gone); }));
    EXPECT_TRUE(tmpIsEmpty()) << "after tovik-cli and its children ended";
}

} // namespace
