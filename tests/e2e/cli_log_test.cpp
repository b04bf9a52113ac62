// tovik-cli --log: the record a load appends, checked against the file, the device and the load's
// own result line; a log that cannot be written; and the loads that end without telling their
// result (a second interrupt, a killed child), whose record is still there.

#include "cli_test_fixture.h"
#include "tests/support/station_event.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace cli_e2e;

using nlohmann::json;

const std::vector<std::string> kMembers{"time",    "station",   "port",    "device", "adapter",
                                        "file",    "sha256",    "bytes",   "blocks", "baud",
                                        "seconds", "exit_code", "message", "tool"};

class LogTest : public Cli {
protected:
    std::string log = dir + "/loads.jsonl";

    // The log's records, each read in the order of its members.
    std::vector<nlohmann::ordered_json> Records() {
        std::vector<nlohmann::ordered_json> records;
        std::istringstream lines(ReadText(log));
        for (std::string line; std::getline(lines, line);) {
            records.push_back(nlohmann::ordered_json::parse(line, nullptr, false));
            EXPECT_TRUE(records.back().is_object()) << "not a whole record: " << line;
        }
        return records;
    }

    std::string Sha256Sum(const std::string& file) {
        EXPECT_EQ(RunShell("sha256sum " + file + " > " + dir + "/sum"), 0);
        return ReadText(dir + "/sum").substr(0, 64);
    }

    // The load's result line for port.
    json ResultOf(const std::string& port) {
        for (const json& o : JsonLines()) {
            if (o["event"] == "result" && o["port"] == port) {
                return o;
            }
        }
        return json();
    }
};

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? resolved : path;
}

// A load through a by-id style link: the record names the link as given and the device it leads
// to, the image by its digest, and says what the result line says.
TEST_F(LogTest, ALoadThroughALinkLeavesOneRecordOfItsImage) {
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    StartDevice("");
    const std::string link = dir + "/usb-Board-if00-port0";
    ASSERT_EQ(::symlink(names["PORT"].c_str(), link.c_str()), 0);
    ASSERT_EQ(
        Run("--json -q --station-name line2-bench7 --port " + link + " --log " + log + " " + file),
        0)
        << err;
    const std::vector<nlohmann::ordered_json> records = Records();
    ASSERT_EQ(records.size(), 1u) << ReadText(log);
    const nlohmann::ordered_json& r = records[0];
    std::vector<std::string> members;
    for (const auto& member : r.items()) {
        members.push_back(member.key());
    }
    EXPECT_EQ(members, kMembers);
    EXPECT_EQ(r["time"].get<std::string>().size(), 24u) << r["time"];
    EXPECT_EQ(r["station"], "line2-bench7");
    EXPECT_EQ(r["port"], link);
    EXPECT_EQ(r["device"], RealPath(names["PORT"]));
    EXPECT_TRUE(r["adapter"].is_null());
    EXPECT_EQ(r["file"], file);
    EXPECT_EQ(r["sha256"], Sha256Sum(file));
    EXPECT_EQ(r["bytes"], 1500);
    EXPECT_EQ(r["baud"], 38400);
    EXPECT_EQ(r["exit_code"], 0);
    EXPECT_EQ(r["tool"].get<std::string>().rfind("tovik-cli ", 0), 0u);
    const json result = ResultOf(link);
    for (const char* member : {"blocks", "message"}) {
        EXPECT_EQ(json(r[member]), result[member]) << member;
    }
}

struct Unwritable {
    const char* name;
    const char* log;        // in the scratch folder
    const char* reason;     // the system's
    bool needsUnprivileged; // root writes where the folder's mode says no
    friend void PrintTo(const Unwritable& u, std::ostream* out) { *out << u.name; }
};

const Unwritable kUnwritables[] = {
    {"ADirectory", "", "Is a directory", false},
    {"NoSuchFolder", "/none/loads.jsonl", "No such file or directory", false},
    {"ReadOnlyFolder", "/ro/loads.jsonl", "Permission denied", true},
};

class UnwritableLog : public LogTest, public ::testing::WithParamInterface<Unwritable> {};

// A log that cannot be opened ends the load before anything is sent to the device.
TEST_P(UnwritableLog, EndsTheLoadBeforeTheDeviceIsSpokenTo) {
    const Unwritable& u = GetParam();
    if (u.needsUnprivileged && ::geteuid() == 0) {
        GTEST_SKIP() << "root writes into a read-only folder";
    }
    ASSERT_EQ(::mkdir((dir + "/ro").c_str(), 0555), 0);
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    StartDevice("");
    log = dir + u.log;
    ASSERT_EQ(Run("--json -q --port PORT --log " + log + " " + file), 9) << err;
    const std::string told = "cannot write the log " + log + ": " + u.reason;
    EXPECT_EQ(err, "tovik-cli: " + told + "\n");
    const json result = ResultOf(names["PORT"]);
    EXPECT_EQ(result["exit_code"], 9) << out;
    EXPECT_EQ(result["message"], told);
    EXPECT_TRUE(device->CommandLog().empty()) << "the device was spoken to";
}

INSTANTIATE_TEST_SUITE_P(Table, UnwritableLog, ::testing::ValuesIn(kUnwritables),
                         [](const auto& info) { return std::string(info.param.name); });

// A log that takes no more (a file-size limit, as a full disk) fails the load that could not
// leave its record, the result saying so, and keeps no part of that record.
TEST_F(LogTest, ARecordThatCannotBeWrittenFailsTheLoadAndLeavesNoPartOfIt) {
    const std::string before = std::string(65400, 'x') + "\n";
    std::ofstream(log) << before;
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    StartDevice("");
    runUnder = {"prlimit", "--fsize=65536"};
    ASSERT_EQ(Run("--json -q --port PORT --log " + log + " " + file), 9) << err;
    const std::string told =
        "the record of this load could not be written to " + log + ": File too large";
    EXPECT_NE(err.find("\ntovik-cli: " + told + "\n"), std::string::npos) << err;
    const json result = ResultOf(names["PORT"]);
    EXPECT_EQ(result["exit_code"], 9) << out;
    EXPECT_EQ(result["message"], "Transmission complete.\nDevice started.\n" + told);
    EXPECT_EQ(ReadText(log), before) << "a part of the record stayed in the log";
}

// A second interrupt ends the load at once, in the middle of its programming; its record is in
// the log all the same, saying how far it came.
TEST_F(LogTest, ASecondInterruptLeavesTheRecord) {
    const std::string file = MakeFirmware(dir, Firmware{"large", 3, 32, {{0x10000, 16384}}});
    StartDevice("--wire-baud 38400");
    Spawn("--json -q --port PORT --log " + log + " " + file);
    ASSERT_TRUE(WaitUntil(
        [&] { return SomeProgrammed(ReadText(scratch / "cli.out"), names["PORT"]); }, 60s));
    // Held still while both interrupts come, so that the second comes before the first is acted
    // upon, however busy the machine.
    ASSERT_TRUE(cli.Signal(SIGSTOP));
    ASSERT_TRUE(WaitUntil([&] { return StateOf(cli.Pid()) == 'T'; }));
    ASSERT_TRUE(cli.Signal(SIGINT));
    ASSERT_TRUE(cli.Signal(SIGTERM));
    ASSERT_TRUE(cli.Signal(SIGCONT));
    ASSERT_EQ(Wait(60s), 130) << err;
    EXPECT_NE(err.find("tovik-cli: interrupted again;"), std::string::npos) << err;
    const std::vector<nlohmann::ordered_json> records = Records();
    ASSERT_EQ(records.size(), 1u) << ReadText(log);
    const nlohmann::ordered_json& r = records[0];
    EXPECT_EQ(r["exit_code"], 130);
    const std::string message = r["message"];
    EXPECT_EQ(message.rfind("interrupted again during programming, after ", 0), 0u) << message;
    EXPECT_GT(r["bytes"].get<long long>(), 0);
    EXPECT_LT(r["bytes"].get<long long>(), 16384);
    EXPECT_EQ(r["baud"], 38400);
    EXPECT_EQ(r["sha256"], Sha256Sum(file));
}

// Several ports: each child appends its own record; the one killed gets its record from the
// parent, with the figures of its last events, once.
TEST_F(LogTest, AKilledChildGetsItsRecordFromTheParent) {
    const std::string file = MakeFirmware(dir, Firmware{"large", 3, 32, {{0x10000, 16384}}});
    const std::string fast = StartSim("");
    const std::string slow = StartSim("--wire-baud 38400");
    Spawn("--json -q --port " + fast + " --port " + slow + " --log " + log + " " + file);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Records().size() == 1 && ChildrenOf(cli.Pid()).size() == 1 &&
                   SomeProgrammed(ReadText(scratch / "cli.out"), slow);
        },
        60s))
        << ReadText(scratch / "cli.err");
    ::kill(ChildrenOf(cli.Pid()).at(0), SIGKILL);
    ASSERT_EQ(Wait(60s), 8) << err;
    const std::vector<nlohmann::ordered_json> records = Records();
    ASSERT_EQ(records.size(), 2u) << ReadText(log);
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const std::string station = std::string(host).substr(0, std::string(host).find('.'));
    const std::map<std::string, int> expected{{fast, 0}, {slow, 137}};
    for (const nlohmann::ordered_json& r : records) {
        const std::string port = r["port"];
        ASSERT_EQ(expected.count(port), 1u) << port;
        EXPECT_EQ(r["exit_code"], expected.at(port));
        EXPECT_EQ(r["device"], RealPath(port));
        EXPECT_EQ(r["station"], station);
        EXPECT_EQ(r["sha256"], Sha256Sum(file));
        const json result = ResultOf(port);
        for (const char* member : {"bytes", "blocks", "message"}) {
            EXPECT_EQ(json(r[member]), result[member]) << port << " " << member;
        }
    }
}

// A station's slot killed in the middle of a board: the station writes that board's record.
TEST_F(LogTest, ASlotKilledMidBoardGetsItsRecordFromTheStation) {
    const std::string file = MakeFirmware(dir, Firmware{"large", 3, 32, {{0x10000, 16384}}});
    // Its second board, after the first has told its result, is the one cut short.
    const std::string port = StartSim("--wire-baud 38400 --new-board-after 1500");
    Spawn("--station --json -q --port " + port + " --log " + log + " " + file);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string out = ReadText(scratch / "cli.out");
            std::istringstream lines(out);
            for (std::string line; std::getline(lines, line);) {
                if (IsStationEvent(line, "progress", port, 2) &&
                    line.find("\"phase\":\"programming\"") != std::string::npos &&
                    line.find("\"bytes\":0,") == std::string::npos) {
                    return ChildrenOf(cli.Pid()).size() == 1;
                }
            }
            return false;
        },
        90s))
        << ReadText(scratch / "cli.err");
    ::kill(ChildrenOf(cli.Pid()).at(0), SIGKILL);
    ASSERT_EQ(Wait(60s), 8) << err;
    const std::vector<nlohmann::ordered_json> records = Records();
    ASSERT_EQ(records.size(), 2u) << ReadText(log);
    EXPECT_EQ(records[0]["exit_code"], 0);
    const nlohmann::ordered_json& r = records[1];
    EXPECT_EQ(r["board"], 2);
    EXPECT_EQ(r["exit_code"], 137);
    EXPECT_GT(r["seconds"].get<double>(), 0);
    std::vector<json> results;
    for (const json& o : JsonLines()) {
        if (o["event"] == "result") {
            results.push_back(o);
        }
    }
    ASSERT_EQ(results.size(), 2u) << out;
    for (const char* member : {"bytes", "blocks", "message", "board"}) {
        EXPECT_EQ(json(r[member]), results[1][member]) << member;
    }
    EXPECT_GT(r["bytes"].get<int>(), 0);
    EXPECT_NE(err.find("failed 1"), std::string::npos) << "the summary counts it: " << err;
}

// A load whose port is not there is recorded too, naming the device as it was given.
TEST_F(LogTest, ALoadIntoAMissingPortIsRecorded) {
    const std::string file = MakeFirmware(dir, kSmallFirmware);
    const std::string missing = dir + "/ttyNONE";
    ASSERT_EQ(Run("-q --port " + missing + " --log " + log + " " + file), 4) << err;
    const std::vector<nlohmann::ordered_json> records = Records();
    ASSERT_EQ(records.size(), 1u) << ReadText(log);
    EXPECT_EQ(records[0]["device"], missing);
    EXPECT_EQ(records[0]["exit_code"], 4);
    EXPECT_TRUE(records[0]["baud"].is_null());
}

} // namespace
