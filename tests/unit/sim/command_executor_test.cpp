// What unit 0 answers to malformed requests, without any line in between. Well-formed requests
// are carried out by every end-to-end load.

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

// After the one failed erase, a device told to go quiet hears every later command but neither
// carries it out nor answers; without that option it goes on as usual.
TEST(CommandExecutor, GoesQuietAfterTheFailedEraseOnlyWhenAskedTo) {
    const Bytes requests[] = {Payload("!D"), Payload("!E", {3}), Payload("!D"), Payload("!E", {3}),
                              Payload("!W", {0, 0, 0x10, 0, 0xAA})};
    const struct {
        bool silent;
        const char* replies[5]; // "" for none
        unsigned erasesOf3;
        bool holdsData;
    } cases[] = {
        {false, {":DOK", ":EERR00000004", ":DOK", ":EOK", ":WOK"}, 1, true},
        {true, {":DOK", ":EERR00000004", "", "", ""}, 0, false},
    };
    for (const auto& c : cases) {
        SimOptions options;
        options.eraseMs = 0;
        options.eraseFailOnce = 3;
        options.silentAfterEraseFail = c.silent;
        sim::CommandExecutor executor(options);
        for (size_t i = 0; i < std::size(requests); ++i) {
            const Bytes answer = executor.Execute(requests[i]).reply;
            EXPECT_EQ(std::string(answer.begin(), answer.end()), c.replies[i])
                << "silent " << c.silent << ", request " << i;
            ASSERT_EQ(executor.Log().size(), i + 1) << "every command is heard";
            EXPECT_EQ(executor.Log().back().answered, !answer.empty());
        }
        EXPECT_EQ(executor.EraseCounts()[3], c.erasesOf3) << c.silent;
        EXPECT_EQ(!executor.Memory().Empty(), c.holdsData) << c.silent;
    }
}

} // namespace
