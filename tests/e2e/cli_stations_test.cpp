// tovik-cli on a production line: --json read by a program (Python's strict JSON reader here, not
// tovik-cli's own), --wait-port for a port that appears late, and several ports at once, each a
// tovik-sim process on its own pseudo-terminal whose image must equal the file.

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

// One JSON object as Python read it: each member's value with its type in front: "s:" string,
// "i:" integer, "f:" other number, "b:" true/false, "z:" null, "o:" anything else.
using Object = std::map<std::string, std::string>;

// Python's reader refuses what JSON refuses (its NaN and Infinity too, here), and every line must
// be one object, ended by a newline.
const char kReadJsonLines[] = R"PY(
import json, sys
def refuse(word): raise ValueError('not JSON: ' + word)
data = open(sys.argv[1], 'rb').read().decode('utf-8')
if data and not data.endswith('\n'): sys.exit('the last line has no newline')
for n, line in enumerate(data.split('\n')[:-1], 1):
    o = json.loads(line, parse_constant=refuse)
    if not isinstance(o, dict): sys.exit('line %d is not an object' % n)
    def show(v):
        if isinstance(v, bool): return 'b:' + json.dumps(v)
        if isinstance(v, str): return 's:' + v.replace('\\', '\\\\').replace('\n', '\\n').replace('\t', '\\t')
        if isinstance(v, int): return 'i:%d' % v
        if isinstance(v, float): return 'f:%r' % v
        if v is None: return 'z:'
        return 'o:'
    print('\t'.join('%s=%s' % (k.replace('\t', ' '), show(v)) for k, v in o.items()))
)PY";

std::string Str(const Object& o, const std::string& key) {
    auto it = o.find(key);
    EXPECT_TRUE(it != o.end() && it->second.rfind("s:", 0) == 0) << key << " is not a string";
    return it != o.end() ? it->second.substr(2) : std::string();
}

long long Int(const Object& o, const std::string& key) {
    auto it = o.find(key);
    EXPECT_TRUE(it != o.end() && it->second.rfind("i:", 0) == 0) << key << " is not an integer";
    return it != o.end() ? std::atoll(it->second.c_str() + 2) : -1;
}

// stdout as Python read it; a line that is not a JSON object fails the test.
std::vector<Object> JsonLines(const std::string& dir) {
    std::ofstream(dir + "/read_json.py") << kReadJsonLines;
    const std::string parsed = dir + "/cli.out.parsed";
    EXPECT_EQ(RunShell("python3 " + dir + "/read_json.py " + dir + "/cli.out > " + parsed + " 2>" +
                       dir + "/python.err"),
              0)
        << "stdout is not JSON lines:\n"
        << ReadText(dir + "/python.err") << "\n"
        << ReadText(dir + "/cli.out");
    std::vector<Object> objects;
    std::istringstream lines(ReadText(parsed));
    for (std::string line; std::getline(lines, line);) {
        Object o;
        std::istringstream members(line);
        for (std::string m; std::getline(members, m, '\t');) {
            const size_t eq = m.find('=');
            o[m.substr(0, eq)] = m.substr(eq + 1);
        }
        objects.push_back(o);
    }
    return objects;
}

std::vector<Object> OfEvent(const std::vector<Object>& objects, const std::string& event) {
    std::vector<Object> found;
    for (const Object& o : objects) {
        if (o.count("event") && o.at("event") == "s:" + event) {
            found.push_back(o);
        }
    }
    return found;
}

TEST_F(Cli, JsonLinesOfALoad) {
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    // The device's fixed name (--link) replaces what an earlier run left there.
    const std::string port = dir + "/ttyMarlex";
    std::ofstream(port) << "left over from an earlier run";
    StartSim("--link " + port);
    // The dry run's last line: "N blocks, N bytes, N lines".
    ASSERT_EQ(Run("--dry-run " + file), 0) << err;
    const std::vector<std::string> listed = Words(out);
    ASSERT_GE(listed.size(), 6u);
    const long long blocks = std::atoll(listed[listed.size() - 6].c_str());
    ASSERT_GT(blocks, 1);
    ASSERT_EQ(Run("--json --baud 115200 --port " + port + " " + file), 0) << err;
    const std::vector<Object> objects = JsonLines(dir);
    ASSERT_GE(objects.size(), 5u) << out;
    std::vector<std::string> phases;
    long long lastBytes = -1;
    for (const Object& o : objects) {
        EXPECT_EQ(Str(o, "port"), port);
        EXPECT_TRUE(o.count("seconds") && (o.at("seconds")[0] == 'i' || o.at("seconds")[0] == 'f'));
        const std::string event = Str(o, "event");
        if (event == "phase") {
            phases.push_back(Str(o, "phase"));
        } else if (event == "progress" && Str(o, "phase") == "programming") {
            EXPECT_GE(Int(o, "bytes"), lastBytes) << "programming went backwards";
            lastBytes = Int(o, "bytes");
            EXPECT_EQ(Int(o, "bytes_total"), 1500);
        }
    }
    EXPECT_EQ(Str(objects.front(), "event"), "begin");
    EXPECT_EQ(Int(objects.front(), "bytes_total"), 1500);
    // The wait for the start's reply is shown when a look falls into it: a moment, here.
    if (!phases.empty() && phases.back() == "starting") {
        phases.pop_back();
    }
    EXPECT_EQ(phases, (std::vector<std::string>{"searching", "erasing", "programming"}));
    EXPECT_EQ(lastBytes, 1500) << "no progress line at the end of programming";
    ASSERT_EQ(OfEvent(objects, "result").size(), 1u);
    const Object& result = objects.back();
    EXPECT_EQ(Str(result, "event"), "result");
    EXPECT_EQ(Int(result, "exit_code"), 0);
    EXPECT_EQ(Str(result, "message"), "Transmission complete.\\nDevice started.");
    EXPECT_EQ(Int(result, "bytes"), 1500);
    EXPECT_EQ(Int(result, "blocks"), blocks) << "not the blocks the dry run listed";
    EXPECT_EQ(Int(result, "baud"), 115200);
    // What a person sees stays on stderr.
    EXPECT_NE(err.find("Programming"), std::string::npos) << err;
    EXPECT_NE(err.find("Transmission complete."), std::string::npos) << err;
    EXPECT_TRUE(DeviceHolds(0, file));
}

// However a load ends, its last line is its one result, with the exit code and what a person is
// told. A command line that cannot be understood gives no lines (CliEmptyPort).
struct Ending {
    const char* name;
    const char* sim;  // tovik-sim's options
    const char* args; // PORT and FILE stand for the device and a good file
    int exitCode;
    const char* message; // in the result's message
};

const Ending kEndings[] = {
    {"MissingFile", "", "--port PORT /no/such/file.s19", 3,
     "Sorry, cannot open /no/such/file.s19: No such file or directory !"},
    {"MissingPort", "", "--port /no/such/port FILE", 4,
     "cannot open /no/such/port: no such device"},
    {"PortNeverAppears", "", "--wait-port 0.3 --port /no/such/port FILE", 4,
     "the port /no/such/port did not appear within 0.3 s"},
    {"NoDevice", "--baud-only 57600", "--timeout 0.5 --port PORT FILE", 5,
     "no device answered within 0.5 s"},
    {"WriteRefused", "--write-err 0000002A", "--port PORT FILE", 6,
     "the device refused the write at 0x00010000 (error 42)"},
};

class StationEnds : public Cli, public ::testing::WithParamInterface<Ending> {};

TEST_P(StationEnds, WithOneResult) {
    const Ending& e = GetParam();
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    names["PORT"] = StartSim(e.sim);
    names["FILE"] = file;
    ASSERT_EQ(Run(std::string("--json -q ") + e.args), e.exitCode) << err;
    const std::vector<Object> objects = JsonLines(dir);
    ASSERT_FALSE(objects.empty());
    ASSERT_EQ(OfEvent(objects, "result").size(), 1u) << out;
    const Object& result = objects.back();
    EXPECT_EQ(Str(result, "event"), "result");
    EXPECT_EQ(Int(result, "exit_code"), e.exitCode);
    EXPECT_NE(Str(result, "message").find(e.message), std::string::npos) << out;
    EXPECT_NE(err.find(e.message), std::string::npos) << "a person is told as well:\n" << err;
}

INSTANTIATE_TEST_SUITE_P(Table, StationEnds, ::testing::ValuesIn(kEndings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, WaitsForAPortThatAppearsLate) {
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    const std::string link = dir + "/ttyLATE";
    Spawn("--json --wait-port 60 --port " + link + " " + file);
    // The device comes once tovik-cli says it waits, not before.
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadText(scratch / "cli.out").find("\"waiting\"") != std::string::npos; }));
    StartSim("--link " + link);
    ASSERT_EQ(Wait(60s), 0) << err;
    EXPECT_NE(err.find("waiting for " + link), std::string::npos) << err;
    const std::vector<Object> objects = JsonLines(dir);
    ASSERT_GE(objects.size(), 3u);
    EXPECT_EQ(Str(objects[1], "event"), "waiting");
    EXPECT_EQ(Str(objects[1], "path"), link);
    EXPECT_EQ(Int(objects.back(), "exit_code"), 0);
    EXPECT_TRUE(DeviceHolds(0, file));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)))
        << "the device's link outlived it";
}

// Three devices at once, loaded by a user without rights (each device run by the same user, who
// then owns its pseudo-terminal); the other tests of several ports run as whoever runs them.
TEST_F(Cli, SeveralStationsAllLoadTheFileAsAUserWithoutRights) {
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
    ASSERT_EQ(Run(args + " " + file), 0) << err;
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

// The file can be read only once (a pipe) or is no S-record file at all: the parent reads and
// checks it once, and every child loads the bytes the parent checked.
TEST_F(Cli, SeveralPortsFromOnePipe) {
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    const std::string bad = dir + "/bad.s19";
    std::ofstream(bad) << "S0030000FC\nS1130000garbage\n";
    const std::vector<std::string> ports{StartSim(""), StartSim("")};
    for (const std::string& source : {file, bad}) {
        pipeIn = source;
        Spawn("--port " + ports[0] + " --port " + ports[1] + " -");
        if (source == bad) {
            EXPECT_EQ(Wait(30s), 3) << err;
            // Told once, by the parent, before any child began.
            EXPECT_EQ(err.find("Sorry, line 2"), err.rfind("Sorry, line 2")) << err;
            EXPECT_NE(err.find("Sorry, line 2"), std::string::npos) << err;
        } else {
            ASSERT_EQ(Wait(30s), 0) << err;
            EXPECT_NE(out.find("tovik-cli: all 2 devices loaded"), std::string::npos) << out;
        }
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_TRUE(DeviceHolds(i, file)) << ports[i];
    }
}

// Some of this port's data went over: with --json a progress event of the programming with bytes
// in it; without, a line of the board with the programming's percent (it gets one each tenth).
bool SomeProgrammed(const std::string& out, const std::string& err, const std::string& port,
                    bool json) {
    std::istringstream lines(json ? out : err);
    for (std::string line; std::getline(lines, line);) {
        if (json
                ? line.find("\"port\":\"" + port + "\"") != std::string::npos &&
                      line.find("\"phase\":\"programming\"") != std::string::npos &&
                      line.find("\"bytes\":") != std::string::npos &&
                      line.find("\"bytes\":0,") == std::string::npos
                : line.rfind(port + " ", 0) == 0 && line.find("programming") != std::string::npos &&
                      line.find('%') != std::string::npos) {
            return true;
        }
    }
    return false;
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
    const std::vector<Object> objects = JsonLines(dir);
    std::map<std::string, int> results;
    for (const Object& o : OfEvent(objects, "result")) {
        EXPECT_EQ(results.count(Str(o, "port")), 0u) << "two results for " << Str(o, "port");
        results[Str(o, "port")] = static_cast<int>(Int(o, "exit_code"));
    }
    EXPECT_EQ(results, expected);
    for (const Object& o : objects) {
        if (Str(o, "event") != "summary") {
            EXPECT_EQ(expected.count(Str(o, "port")), 1u) << "a line of no port given";
        }
    }
    const Object& summary = objects.back();
    EXPECT_EQ(Str(summary, "event"), "summary");
    EXPECT_EQ(Int(summary, "exit_code"), 8);
    EXPECT_EQ(Int(summary, "failed"), 2);
    // The summary for a person names each port's own code and message.
    EXPECT_NE(err.find("tovik-cli: some devices failed (2 of 3)"), std::string::npos) << err;
    EXPECT_NE(SummaryLine(err, refusing)
                  .find(" exit 6    Protocollerror ! the device refused the write at 0x00010000 "
                        "(error 42)"),
              std::string::npos)
        << err;
    EXPECT_NE(SummaryLine(err, missing).find(" exit 4    "), std::string::npos) << err;
    EXPECT_NE(SummaryLine(err, good).find(" exit 0    Transmission complete. Device started."),
              std::string::npos)
        << err;
    EXPECT_TRUE(DeviceHolds(0, file));
}

// The processes a process started, as the kernel lists them.
std::vector<int> ChildrenOf(int pid) {
    const std::string id = std::to_string(pid);
    std::istringstream in(ReadText("/proc/" + id + "/task/" + id + "/children"));
    return {std::istream_iterator<int>(in), std::istream_iterator<int>()};
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

// The process's state as the kernel shows it (R, S, T for stopped, Z, ...); 0 when there is no
// such process.
char StateOf(int pid) {
    const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return paren == std::string::npos || paren + 2 >= stat.size() ? 0 : stat[paren + 2];
}

// Ended: no such process any more, or one left for its parent to reap.
bool Gone(int pid) {
    const char state = StateOf(pid);
    return state == 0 || state == 'Z' || state == 'X';
}

// How a load into several ports is cut short while every port is programming.
enum class Cut {
    kInterruptTwice, // Ctrl-C and then SIGTERM to tovik-cli: the second ends every child at once
    kKillOneChild,   // SIGKILL to the child of the second port
    kLoseOneDevice,  // the second port's device process killed: the line hangs up
};

struct Cutting {
    const char* name;
    Cut cut;
    bool json;
    const char* told; // in the summary line of the ports cut short
};

const Cutting kCuttings[] = {
    {"InterruptedTwice", Cut::kInterruptTwice, false,
     " exit 130  interrupted again during programming, after "},
    {"InterruptedTwiceJson", Cut::kInterruptTwice, true,
     " exit 130  interrupted again during programming, after "},
    {"OneChildKilled", Cut::kKillOneChild, false,
     " exit 137  tovik-cli ended without a result (exit 137) during programming, after "},
    {"OneChildKilledJson", Cut::kKillOneChild, true,
     " exit 137  tovik-cli ended without a result (exit 137) during programming, after "},
    // The child tells this itself, on two lines: one line in the summary, not run together.
    {"OneDeviceLost", Cut::kLoseOneDevice, false,
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
    std::string args = c.json ? "--json" : "";
    for (int i = 0; i < 3; ++i) {
        // Paced like a real 38400 baud line: each load takes seconds.
        ports.push_back(StartSim("--wire-baud 38400"));
        args += " --port " + ports.back();
    }
    Spawn(args + " " + file);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string o = ReadText(scratch / "cli.out");
            const std::string e = ReadText(scratch / "cli.err");
            return std::all_of(ports.begin(), ports.end(), [&](const std::string& port) {
                return SomeProgrammed(o, e, port, c.json);
            });
        },
        60s))
        << ReadText(scratch / "cli.err");
    std::map<std::string, int> childOf;
    for (int pid : ChildrenOf(cli.Pid())) {
        childOf[PortOf(pid)] = pid;
    }
    ASSERT_EQ(childOf.size(), 3u);
    std::vector<std::string> cut{ports[1]};
    switch (c.cut) {
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
        ASSERT_TRUE(cli.Interrupt());
        ASSERT_TRUE(cli.Terminate());
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
    ASSERT_EQ(Wait(60s), c.cut == Cut::kInterruptTwice ? 130 : 8) << err;
    const std::string& summary = c.json ? err : out;
    if (c.cut == Cut::kInterruptTwice) {
        EXPECT_NE(summary.find("tovik-cli: stopped (3 of 3)"), std::string::npos) << summary;
    }
    std::map<std::string, Object> results;
    std::map<std::string, Object> lastProgress;
    if (c.json) {
        for (const Object& o : JsonLines(dir)) {
            if (Str(o, "event") == "result") {
                results[Str(o, "port")] = o;
            } else if (Str(o, "event") == "progress" && Str(o, "phase") == "programming") {
                lastProgress[Str(o, "port")] = o;
            }
        }
        ASSERT_EQ(results.size(), 3u) << out;
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string& port = ports[i];
        const std::string line = SummaryLine(summary, port);
        if (std::find(cut.begin(), cut.end(), port) == cut.end()) {
            EXPECT_NE(line.find(" exit 0    Transmission complete. Device started."),
                      std::string::npos)
                << summary;
            EXPECT_TRUE(DeviceHolds(i, file)) << port;
            continue;
        }
        if (c.json) {
            EXPECT_EQ(Int(results[port], "warnings"), 1) << port;
        }
        std::string told = c.told;
        const size_t at = told.find("PORT");
        if (at != std::string::npos) {
            told.replace(at, 4, port);
        }
        EXPECT_NE(line.find(told), std::string::npos) << summary;
        if (c.cut == Cut::kLoseOneDevice) {
            continue;
        }
        // "... after N bytes in M blocks at 38400 baud; the device is only partly programmed"
        const long long bytes = std::atoll(line.c_str() + line.find(told) + told.size());
        EXPECT_GT(bytes, 0) << line;
        EXPECT_NE(line.find(" blocks at 38400 baud; the device is only partly programmed"),
                  std::string::npos)
            << line;
        if (!c.json) {
            continue;
        }
        const Object& result = results[port];
        EXPECT_EQ(Int(result, "exit_code"), c.cut == Cut::kInterruptTwice ? 130 : 137);
        EXPECT_EQ(Int(result, "bytes"), Int(lastProgress[port], "bytes")) << out;
        EXPECT_EQ(Int(result, "blocks"), Int(lastProgress[port], "blocks")) << out;
        EXPECT_EQ(Int(result, "bytes"), bytes);
        EXPECT_EQ(Int(result, "baud"), 38400);
        EXPECT_NE(line.find(Str(result, "message")), std::string::npos)
            << "the summary and the result differ:\n"
            << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CutShort, ::testing::ValuesIn(kCuttings),
                         [](const auto& info) { return std::string(info.param.name); });

// One device named twice, in other words: refused before any child starts, naming both.
struct Twice {
    const char* name;
    const char* first; // PORT: a device's pseudo-terminal; LINK: a link to it
    const char* second;
};

const Twice kTwice[] = {
    {"LinkAndItsTarget", "LINK", "PORT"},
    {"ComNameAndItsDevice", "COM1", "/dev/ttyS0"},
    {"ComNameSpelledTwoWays", "com2", "COM2"},
    {"ProfileComNameAndItsDevice", "COM3", "PORT"},
    // Above COM8 the port layer has no slot of its own; the profile still names the device.
    {"ProfileComNameAboveCom8AndItsDevice", "COM12", "PORT"},
};

class OneDeviceTwice : public Cli, public ::testing::WithParamInterface<Twice> {};

TEST_P(OneDeviceTwice, IsRefused) {
    const Twice& t = GetParam();
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    const std::string port = StartSim("");
    const std::string link = dir + "/ttyLINK";
    ASSERT_EQ(::symlink(port.c_str(), link.c_str()), 0);
    const auto name = [&](const std::string& word) {
        return word == "PORT" ? port : word == "LINK" ? link : word;
    };
    // COM names as the built-in table has them, whatever profile this machine has, but for COM3
    // and COM12, which this profile maps to the device, as a bench set up in the dialog would.
    ASSERT_EQ(::mkdir((dir + "/tovik").c_str(), 0700), 0);
    std::ofstream(dir + "/tovik/tovik.ini")
        << "[Ports]\nCOM3=" << port << "\nCOM12=" << port << "\n";
    runUnder = {"env", "XDG_CONFIG_HOME=" + dir};
    ASSERT_EQ(Run("--json --port " + name(t.first) + " --port " + name(t.second) + " " + file), 2)
        << err;
    EXPECT_NE(err.find("--port " + name(t.first) + " and --port " + name(t.second) +
                       " are the same device"),
              std::string::npos)
        << err;
    EXPECT_EQ(out, "") << "a child was started";
}

INSTANTIATE_TEST_SUITE_P(Table, OneDeviceTwice, ::testing::ValuesIn(kTwice),
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
            return SomeProgrammed(o, "", ports[0], true) && SomeProgrammed(o, "", ports[1], true);
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
