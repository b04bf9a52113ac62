// What unit 0 answers to malformed requests, without any line in between. Well-formed requests
// are carried out by every end-to-end load, and the faults it is told to make by the end-to-end
// tests that ask for them.

#include "sim/command_executor.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Payload(const std::string& text, const Bytes& params = {}) {
    Bytes bytes(text.begin(), text.end());
    bytes.insert(bytes.end(), params.begin(), params.end());
    return bytes;
}

TEST(CommandExecutor, RefusedRequestsNameTheirErrorAndChangeNothing) {
    const std::pair<Bytes, const char*> cases[] = {
        {Payload("!X"), ":XERR00000001"},
        {Payload("?UNITS"), ":UNITSERR00000001"},
        {Payload("hello"), ":ERR00000001"},
        {Payload("!D", {0}), ":DERR00000002"},
        {Payload("!E"), ":EERR00000002"},
        {Payload("!E", {1, 2}), ":EERR00000002"},
        {Payload("!W", {0, 0, 1}), ":WERR00000002"},
        {Payload("?UNIT", {1}), ":UNITERR00000002"},
        {Payload("!W", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2}), ":WERR00000003"},
    };
    SimOptions options;
    options.eraseMs = 0;
    sim::CommandExecutor executor(options);
    for (const auto& [payload, reply] : cases) {
        const Bytes answer = executor.Execute(payload).reply;
        EXPECT_EQ(std::string(answer.begin(), answer.end()), reply);
    }
    EXPECT_TRUE(executor.Memory().Empty());
    EXPECT_EQ(executor.EraseCounts(), (std::array<unsigned, 256>{}));
}

} // namespace
