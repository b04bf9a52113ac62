// The running device over its real pseudo-terminal, with hand-made wire bytes: addressing,
// repeated requests, the drop-first fault, the adapter's latency timer (a paced line carries
// the end-to-end loads at --wire-baud) and boards swapped in a fixture. The other faults, the dump
// and the rest of the command line are exercised by the end-to-end tests.

#include "platform/fd_io.h"
#include "platform/unique_fd.h"
#include "sim/frame_codec.h"
#include "sim/sim_command_line.h"
#include "sim/virtual_device.h"

#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <termios.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

Bytes Wire(std::uint8_t source, std::uint8_t destination, int sequence, const std::string& text) {
    const sim::Frame frame{source, destination, static_cast<std::uint8_t>(0xC0 | sequence),
                           Bytes(text.begin(), text.end())};
    Bytes wire;
    EXPECT_TRUE(sim::EncodeFrame(frame, wire));
    return wire;
}

// From station 60 to unit 0, and unit 0's answer back.
Bytes Request(int sequence, const std::string& text) {
    return Wire(0x7C, 0x80, sequence, text);
}
Bytes Reply(int sequence, const std::string& text) {
    return Wire(0x40, 0xBC, sequence, text);
}

// The host's end of the device's line: raw, and reads return at once.
CUniqueFd OpenHost(const VirtualDevice& device) {
    CUniqueFd host(::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios tio{};
    if (!host.IsValid() || ::tcgetattr(host.Get(), &tio) != 0) {
        return CUniqueFd();
    }
    ::cfmakeraw(&tio);
    return CUniqueFd(::tcsetattr(host.Get(), TCSANOW, &tio) == 0 ? host.Release() : -1);
}

// The bytes up to and including the first terminator, read one at a time from the non-blocking
// descriptor; empty when none came within two seconds.
Bytes ReadFrame(int fd) {
    Bytes data;
    const bool framed = WaitUntil(
        [&] {
            std::uint8_t byte = 0;
            while (ReadSome(fd, &byte, 1) == 1) {
                data.push_back(byte);
                if (data.size() >= 3 &&
                    Bytes(data.end() - 3, data.end()) == Bytes{0x0D, 0x0A, 0xFF}) {
                    return true;
                }
            }
            return false;
        },
        milliseconds(2000));
    return framed ? data : Bytes{};
}

struct Scenario {
    const char* name;
    bool dropFirst;
    std::vector<Bytes> requests;    // written back to back
    std::vector<Bytes> replies;     // everything that comes back, in order
    std::map<int, unsigned> erases; // by cluster
};

TEST(VirtualDevice, AnswersOverThePseudoTerminal) {
    const Bytes erase3 = Request(7, "!E\x03");
    const Scenario scenarios[] = {
        // Only unit 0 acts, and it answers the station that asked.
        {"addressing",
         false,
         {Wire(0x7C, 0x81, 1, "!E\x05"), Wire(0x45, 0x80, 9, "?UNIT")},
         {Wire(0x40, 0x85, 9, ":UNITOK")},
         {}},
        // A repeat gets the same answer without erasing again; after another request it is new.
        {"repeat",
         false,
         {erase3, erase3, Request(8, "!D"), erase3},
         {Reply(7, ":EOK"), Reply(7, ":EOK"), Reply(8, ":DOK"), Reply(7, ":EOK")},
         {{3, 2}}},
        // Only the second copy of an erase is answered, but the first copy of a probe is.
        {"drop-first",
         true,
         {Request(1, "!E\x04"), Request(1, "!E\x04"), Request(2, "!D")},
         {Reply(1, ":EOK"), Reply(2, ":DOK")},
         {{4, 1}}},
    };
    for (const Scenario& s : scenarios) {
        SimOptions options;
        options.eraseMs = 0;
        options.dropFirst = s.dropFirst;
        VirtualDevice device(options);
        std::string error;
        ASSERT_TRUE(device.Start(&error)) << s.name << ": " << error;
        const CUniqueFd host = OpenHost(device);
        ASSERT_TRUE(host.IsValid()) << s.name;
        for (const Bytes& request : s.requests) {
            ASSERT_TRUE(WriteAll(host.Get(), request.data(), request.size(), 1000)) << s.name;
        }
        for (const Bytes& reply : s.replies) {
            EXPECT_EQ(ReadFrame(host.Get()), reply) << s.name;
        }
        EXPECT_EQ(device.EraseCounts(), s.erases) << s.name;
    }
}

// At 1200 baud the line hands over a byte every 8 ms; held by a 150 ms timer, the 12-byte reply
// (100 ms of line time) reaches the host as one piece instead.
TEST(VirtualDevice, TheAdaptersTimerHandsAShortReplyOverInOnePiece) {
    SimOptions options;
    options.wireBaud = 1200;
    options.latencyMs = 150;
    VirtualDevice device(options);
    std::string error;
    ASSERT_TRUE(device.Start(&error)) << error;
    const CUniqueFd host = OpenHost(device);
    ASSERT_TRUE(host.IsValid());
    const Bytes request = Request(1, "!D");
    ASSERT_TRUE(WriteAll(host.Get(), request.data(), request.size(), 1000));
    std::uint8_t buffer[64];
    long count = 0;
    ASSERT_TRUE(
        WaitUntil([&] { return (count = ReadSome(host.Get(), buffer, sizeof buffer)) > 0; }));
    EXPECT_EQ(Bytes(buffer, buffer + count), Reply(1, ":DOK"));
}

struct Swap {
    const char* options; // tovik-sim's command line
    bool newBoard;       // whether a new, blank board has taken the started one's place
};

// After a start the board runs its new firmware and hears nothing, probes included; once its time
// is up a blank board answers, also a request that happens to reuse the start's sequence byte.
TEST(VirtualDevice, AStartedBoardGoesSilentThenMakesWayForABlankOne) {
    const Swap swaps[] = {{"tovik-sim --erase-ms 0 --new-board-after 600000", false},
                          {"tovik-sim --erase-ms 0 --new-board-after 0", true}};
    for (const Swap& s : swaps) {
        std::istringstream in(s.options);
        std::vector<std::string> argv{std::istream_iterator<std::string>(in), {}};
        std::vector<const char*> args;
        for (const std::string& word : argv) {
            args.push_back(word.c_str());
        }
        const SimCommandLine parsed =
            ParseSimCommandLine(static_cast<int>(args.size()), args.data());
        ASSERT_TRUE(parsed.run) << s.options;
        VirtualDevice device(parsed.options);
        ASSERT_TRUE(device.Start()) << s.options;
        const CUniqueFd host = OpenHost(device);
        ASSERT_TRUE(host.IsValid()) << s.options;
        std::uint64_t sent = 0;
        const auto send = [&](const Bytes& request) {
            sent += request.size();
            return WriteAll(host.Get(), request.data(), request.size(), 1000);
        };
        ASSERT_TRUE(send(Request(1, std::string("!W\x00\x01\x00\x00\xAB", 7))));
        EXPECT_EQ(ReadFrame(host.Get()), Reply(1, ":WOK")) << s.options;
        ASSERT_TRUE(send(Request(2, "!G")));
        EXPECT_EQ(ReadFrame(host.Get()), Reply(2, ":GOK")) << s.options;
        if (s.newBoard) {
            ASSERT_TRUE(WaitUntil([&] { return device.Memory().Empty(); })) << s.options;
        }
        ASSERT_TRUE(send(Request(2, "!D")));
        // Counted once dealt with, so any answer is already on the line.
        ASSERT_TRUE(WaitUntil([&] { return device.BytesReceived() == sent; })) << s.options;
        Bytes answer(64);
        const long count = ReadSome(host.Get(), answer.data(), answer.size());
        answer.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        EXPECT_EQ(answer, s.newBoard ? Reply(2, ":DOK") : Bytes{}) << s.options;
        EXPECT_EQ(device.Memory().Empty(), s.newBoard) << s.options;
    }
}

} // namespace
