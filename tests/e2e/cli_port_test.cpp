// tovik-cli when its device goes away in the middle of a run: the pseudo-terminal's master closed,
// as an unplugged USB adapter closes its line, or the device silent with its line still open.

#include "cli_test_fixture.h"

#include <gtest/gtest.h>

#include <regex>
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
    // The line hung up: so the system says, in the words of whichever call met it first (a poll
    // sees the hang-up, a write gets EIO).
    EXPECT_TRUE(Contains(err, "the system said: ")) << err;
    EXPECT_TRUE(Contains(err, ": the device hung up") || Contains(err, ": Input/output error"))
        << err;
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

// A device that goes silent in the middle of programming: the write waited its whole time-out,
// 30 ms a byte and a second, and nothing refused it.
TEST_F(Cli, WriteWithoutReplyIsNotARefusal) {
    // 16-byte S1 records below 0x10000 go in blocks of 80 bytes: 3.4 s for each write.
    names["FILE"] = MakeFirmware(dir, Firmware{"low", 2, 16, {{0x1000, 8000}}});
    ASSERT_NO_FATAL_FAILURE(StartDevice("--wire-baud 38400"));
    Spawn("--port PORT FILE");
    ASSERT_TRUE(WaitUntil([&] { return device->Memory().ByteCount() > 0; }));
    device->Stop();
    const int exitCode = Wait(20s);
    EXPECT_EQ(exitCode, 6) << err;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(err, match,
                                  std::regex("no reply to the write at 0x([0-9A-F]{8}) within "
                                             "3\\.4 s; the device is only partly programmed")))
        << err;
    const unsigned long address = std::stoul(match[1].str(), nullptr, 16);
    EXPECT_GE(address, 0x1000u);
    EXPECT_LT(address, 0x1000u + 8000u);
    EXPECT_EQ((address - 0x1000) % 80, 0u) << "not where a block begins";
    EXPECT_EQ(err.find("refused"), std::string::npos) << err;
    ExpectOrderlyCommands(exitCode);
}

} // namespace
