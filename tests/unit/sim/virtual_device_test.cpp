// The running device over its real pseudo-terminal, with hand-made wire bytes: addressing,
// repeated requests, the drop-first fault and a paced line. The other faults, the dump and the
// command line are exercised by the end-to-end tests.

#include "platform/unique_fd.h"
#include "sim/frame_codec.h"
#include "sim/virtual_device.h"

#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <map>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
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

// The bytes up to and including the first terminator, read one at a time from the non-blocking
// descriptor; empty when none came within two seconds.
Bytes ReadFrame(int fd) {
    Bytes data;
    const bool framed = WaitUntil(
        [&] {
            std::uint8_t byte = 0;
            while (::read(fd, &byte, 1) == 1) {
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
    int wireBaud;
    std::vector<Bytes> requests;    // written back to back
    std::vector<Bytes> replies;     // everything that comes back, in order
    std::map<int, unsigned> erases; // by cluster
    long long minMs;                // from the first write to the last reply
};

TEST(VirtualDevice, AnswersOverThePseudoTerminal) {
    const Bytes erase3 = Request(7, "!E\x03");
    const Scenario scenarios[] = {
        // Only unit 0 acts, and it answers the station that asked.
        {"addressing",
         false,
         0,
         {Wire(0x7C, 0x81, 1, "!E\x05"), Wire(0x45, 0x80, 9, "?UNIT")},
         {Wire(0x40, 0x85, 9, ":UNITOK")},
         {},
         0},
        // A repeat gets the same answer without erasing again; after another request it is new.
        {"repeat",
         false,
         0,
         {erase3, erase3, Request(8, "!D"), erase3},
         {Reply(7, ":EOK"), Reply(7, ":EOK"), Reply(8, ":DOK"), Reply(7, ":EOK")},
         {{3, 2}},
         0},
        // Only the second copy of an erase is answered, but the first copy of a probe is.
        {"drop-first",
         true,
         0,
         {Request(1, "!E\x04"), Request(1, "!E\x04"), Request(2, "!D")},
         {Reply(1, ":EOK"), Reply(2, ":DOK")},
         {{4, 1}},
         0},
        // At 1200 baud the request up to its carriage return (8 bytes) and the reply (12) take
        // 167 ms; either direction alone would stay under 150.
        {"wire baud", false, 1200, {Request(1, "!D")}, {Reply(1, ":DOK")}, {}, 150},
    };
    for (const Scenario& s : scenarios) {
        SimOptions options;
        options.eraseMs = 0;
        options.dropFirst = s.dropFirst;
        options.wireBaud = s.wireBaud;
        VirtualDevice device(options);
        std::string error;
        ASSERT_TRUE(device.Start(&error)) << s.name << ": " << error;
        CUniqueFd host(::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        termios tio{};
        ASSERT_TRUE(host.IsValid() && ::tcgetattr(host.Get(), &tio) == 0) << s.name;
        ::cfmakeraw(&tio);
        ASSERT_EQ(::tcsetattr(host.Get(), TCSANOW, &tio), 0) << s.name;

        const auto start = Clock::now();
        for (const Bytes& request : s.requests) {
            ASSERT_EQ(::write(host.Get(), request.data(), request.size()),
                      static_cast<ssize_t>(request.size()))
                << s.name;
        }
        for (const Bytes& reply : s.replies) {
            EXPECT_EQ(ReadFrame(host.Get()), reply) << s.name;
        }
        EXPECT_GE(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count(), s.minMs)
            << s.name;
        EXPECT_EQ(device.EraseCounts(), s.erases) << s.name;
    }
}

} // namespace
