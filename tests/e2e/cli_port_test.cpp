// tovik-cli when its port is not what it should be: a device that goes away in the middle of a
// run (the pseudo-terminal's master closed, as an unplugged USB adapter closes its line), a path
// that is no serial line, and a device that answers, but too late.

#include "cli_test_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace cli_e2e;
using namespace std::chrono_literals;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Loss {
    const char* name;
    const char* simOptions;
    const char* when; // the command whose arrival ends the device
    const char* told;
    friend void PrintTo(const Loss& l, std::ostream* out) { *out << l.name; }
};

class CliLosesItsPort : public Cli, public ::testing::WithParamInterface<Loss> {};

// Each erase lasts 300 ms and the line is paced at 38400 baud, so the device goes away in the
// middle of the phase. Without the port layer noticing, the remaining erases would each wait 30 s
// and the search after them would run for ever; the patience of 5 s tells the two apart.
TEST_P(CliLosesItsPort, EndsAtOnceWithTheTrueCause) {
    const Loss& loss = GetParam();
    names["FILE"] = MakeFirmware(dir, Firmware{"large", 3, 32, {{0x10000, 16384}}});
    ASSERT_NO_FATAL_FAILURE(StartDevice(loss.simOptions));
    const std::string path = names["PORT"];
    Spawn("--port PORT FILE");
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const sim::ExecutedCommand& c : device->CommandLog()) {
                if (c.text == loss.when) {
                    return true;
                }
            }
            return false;
        },
        20s));
    device.reset(); // closes the master: the slave hangs up, as a pulled adapter does
    const int exitCode = Wait(5s);
    EXPECT_EQ(exitCode, 4) << err;
    EXPECT_TRUE(Contains(err, "the port " + path + " was lost " + loss.told)) << err;
    // The line hung up: so the system says, whichever call met it first.
    EXPECT_TRUE(Contains(err, "the system said: ")) << err;
    EXPECT_TRUE(Contains(err, ": the device hung up")) << err;
    // The dialog's question names COM1 and a protocol error is not the cause: neither is shown.
    EXPECT_FALSE(Contains(err, "COM1")) << err;
    EXPECT_FALSE(Contains(err, "Protocollerror")) << err;
    // Nor is a failed erase pass, which did not happen.
    EXPECT_FALSE(Contains(err, "searching again")) << err;
}

INSTANTIATE_TEST_SUITE_P(Phases, CliLosesItsPort,
                         ::testing::Values(Loss{"DuringErasing", "--erase-ms 300", "!E",
                                                "during erasing; the device is erased"},
                                           Loss{
                                               "DuringProgramming", "--wire-baud 38400", "!W",
                                               "during programming; it is only partly programmed"}),
                         [](const auto& info) { return std::string(info.param.name); });

// What is no serial line is refused before anything is written to it, naming the path and why.
// The other kinds of path are refused by the same device code (serial_device_posix_test.cpp).
TEST_F(Cli, RefusesAFileForThePort) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    const std::string before = ReadText(names["FILE"]);
    EXPECT_EQ(Run("--port FILE FILE", 10s), 4) << err;
    EXPECT_TRUE(
        Contains(err, "cannot open " + names["FILE"] + ": a regular file, not a serial device"))
        << err;
    EXPECT_FALSE(Contains(err, "COM1")) << err;
    EXPECT_EQ(ReadText(names["FILE"]), before) << "frames were written into the file";
}

// Every answer comes 300 ms after its probe, beyond the probe's 200 ms: the device is there.
TEST_F(Cli, SaysWhenRepliesCameTooLate) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice("--reply-delay-ms 300"));
    EXPECT_EQ(Run("--timeout 2 --baud 38400 --port PORT FILE"), 5) << err;
    EXPECT_TRUE(Contains(err, "no device answered within 2 s")) << err;
    EXPECT_TRUE(Contains(err, "replies came after their time-out")) << err;
    EXPECT_TRUE(device->EraseCounts().empty());
}

struct EmptyPort {
    const char* name;
    const char* args; // EMPTY and BLANK stand for "" and " \t"
    friend void PrintTo(const EmptyPort& e, std::ostream* out) { *out << e.name; }
};

class CliEmptyPort : public Cli, public ::testing::WithParamInterface<EmptyPort> {};

// An unset variable in --port "$PORT" is a mistake in the command line, not a wish for COM1. The
// file does not exist: had it been read first, the exit code would be 3.
TEST_P(CliEmptyPort, IsAUsageErrorBeforeTheFileIsRead) {
    names["FILE"] = dir + "/missing.s19";
    names["EMPTY"] = "";
    names["BLANK"] = " \t";
    EXPECT_EQ(Run(GetParam().args, 10s), 2) << err;
    EXPECT_TRUE(Contains(err, "--port is empty")) << err;
    EXPECT_FALSE(Contains(err, "missing.s19")) << err;
    EXPECT_EQ(out, "") << "no JSON lines for a command line that cannot be understood";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CliEmptyPort,
    ::testing::Values(EmptyPort{"Empty", "--port EMPTY FILE"},
                      EmptyPort{"Blank", "-p BLANK --json FILE"},
                      EmptyPort{"OneOfSeveral", "--port /dev/ttyUSB97 --port EMPTY FILE"},
                      // "--port=$PORT" with the variable unset: the parser would take the file
                      // for the port and say that no file was given.
                      EmptyPort{"EqualsBeforeTheFile", "--port= FILE"},
                      EmptyPort{"EqualsAfterTheFile", "FILE --json --port="},
                      EmptyPort{"EqualsOneOfSeveral", "--port=/dev/ttyUSB97 --port= FILE"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ProfilePort {
    const char* name;
    const char* ports; // the profile's [Ports] lines; DEVICE is the virtual device's line
    const char* spoil; // when set, made of the profile by the shell, PROFILE standing for its path
    const char* args;
    int exitCode;
    friend void PrintTo(const ProfilePort& p, std::ostream* out) { *out << p.name; }
};

class CliProfilePorts : public Cli, public ::testing::WithParamInterface<ProfilePort> {};

// A bench set up once in the dialog's profile serves tovik-cli too: a COM name opens the device
// the profile's Ports section gives it, and a device path opens that path whatever the profile
// says. tovik-cli leaves the profile as it was. A profile that cannot be read maps no COM name:
// it is refused rather than taken for /dev/ttyS<n-1>, another controller, perhaps; a device path
// needs no profile and loads.
TEST_P(CliProfilePorts, AComNameOpensTheDeviceTheProfileGivesIt) {
    const ProfilePort& p = GetParam();
    if (p.spoil && std::string(p.spoil).find("chmod") != std::string::npos &&
        RunShell("test -w /") == 0) {
        GTEST_SKIP() << "this user reads any file";
    }
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice(""));
    names["DEVICE"] = names["PORT"];
    const std::string config = dir + "/config";
    ASSERT_EQ(RunShell("mkdir -p " + config + "/tovik"), 0);
    std::string profile = "[Tovik]\nComPort=2\n\n[Ports]\n";
    for (const std::string& line : Words(p.ports)) {
        const size_t at = line.find("DEVICE");
        profile += (at == std::string::npos ? line : line.substr(0, at) + names["DEVICE"]) + "\n";
    }
    const std::string ini = config + "/tovik/tovik.ini";
    std::ofstream(ini, std::ios::binary) << profile;
    std::string spoil = p.spoil ? p.spoil : "true";
    for (size_t at; (at = spoil.find("PROFILE")) != std::string::npos;) {
        spoil.replace(at, 7, ini);
    }
    ASSERT_EQ(RunShell(spoil), 0) << spoil;
    runUnder = {"env", "XDG_CONFIG_HOME=" + config};
    EXPECT_EQ(Run(std::string("-q --timeout 10 ") + p.args), p.exitCode) << err;
    device->Stop();
    if (p.exitCode != 0) {
        const std::string com =
            std::string(p.args).find("COM3") != std::string::npos ? "COM3" : "COM1";
        EXPECT_TRUE(Contains(err, "cannot tell which device " + com + " is")) << err;
        EXPECT_TRUE(Contains(err, ini)) << err;
        EXPECT_TRUE(device->CommandLog().empty()) << "a device was looked for";
        return;
    }
    ExpectDeviceHolds(names["FILE"]);
    if (!p.spoil) {
        EXPECT_EQ(ReadText(ini), profile) << "the profile was written";
        EXPECT_EQ(RunShell("test \"$(ls -A " + config + "/tovik)\" = tovik.ini"), 0)
            << "something else was left beside the profile";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ports, CliProfilePorts,
    ::testing::Values(
        ProfilePort{"Com3", "COM1=/dev/ttyUSB97 COM3=DEVICE", nullptr, "--port COM3 FILE", 0},
        // Above COM8, where the port layer itself does not reach.
        ProfilePort{"Com12", "com12=DEVICE", nullptr, "--port com12 FILE", 0},
        ProfilePort{"NoPortIsCom1", "COM1=DEVICE", nullptr, "FILE", 0},
        ProfilePort{"DevicePathStays", "COM1=/dev/ttyUSB97", nullptr, "--port DEVICE FILE", 0},
        ProfilePort{"FolderCom3", "COM1=DEVICE COM3=DEVICE", "rm PROFILE && mkdir PROFILE",
                    "--port COM3 FILE", 4},
        ProfilePort{"FolderNoPort", "COM1=DEVICE COM3=DEVICE", "rm PROFILE && mkdir PROFILE",
                    "FILE", 4},
        ProfilePort{"NoRightCom3", "COM1=DEVICE COM3=DEVICE", "chmod 000 PROFILE",
                    "--port COM3 FILE", 4},
        ProfilePort{"NoRightDevicePath", "COM1=DEVICE COM3=DEVICE", "chmod 000 PROFILE",
                    "--port DEVICE FILE", 0}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
