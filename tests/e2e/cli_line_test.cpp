// tovik-cli when the device stops answering: the search limit holds for every search of the run,
// and a write that got no reply is told apart from one the device refused.

#include "cli_test_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

namespace {

using namespace cli_e2e;
using namespace std::chrono_literals;

// The device answers the first search, fails the erase of cluster 7 and is silent from then on,
// though its line stays open: --timeout ends that second search too.
TEST_F(Cli, TimeoutEndsTheSearchAfterAFailedErase) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice("--erase-fail-once 7 --silent-after-erase-fail"));
    const int exitCode = Run("--timeout 1 --port PORT FILE", 20s);
    EXPECT_EQ(exitCode, 5) << err;
    EXPECT_NE(err.find("erase of cluster 7 failed (error 4): searching again"), std::string::npos)
        << err;
    EXPECT_NE(err.find("no device answered within 1 s of the search after a failed erase"),
              std::string::npos)
        << err;
    const std::vector<sim::ExecutedCommand> log = device->CommandLog();
    const auto failed = std::find_if(log.begin(), log.end(), [](const sim::ExecutedCommand& c) {
        return c.text == "!E" && c.error == sim::kErrorEraseFailed;
    });
    EXPECT_TRUE(std::any_of(failed, log.end(), [](const sim::ExecutedCommand& c) {
        return c.text == "!D";
    })) << "no second search";
}

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
