// What unit 0 answers to each request payload, without any line in between.

#include "sim/command_executor.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

namespace {

using simtest::Bytes;

Bytes Payload(const std::string& text, const Bytes& params = {}) {
    Bytes bytes(text.begin(), text.end());
    bytes.insert(bytes.end(), params.begin(), params.end());
    return bytes;
}

TEST(CommandExecutor, RepliesForEveryKindOfRequest) {
    const std::pair<Bytes, const char*> cases[] = {
        {Payload("!D"), ":DOK"},
        {Payload("?UNIT"), ":UNITOK"},
        {Payload("!E", {7}), ":EOK"},
        {Payload("!W", {0, 0, 1, 0, 0xAB}), ":WOK"},
        {Payload("!W", {0, 0, 2, 0}), ":WOK"}, // no data is still a write
        {Payload("!G"), ":GOK"},
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
    sim::CommandExecutor executor(simtest::QuickOptions());
    for (const auto& [payload, reply] : cases) {
        const Bytes answer = executor.Execute(payload).reply;
        EXPECT_EQ(std::string(answer.begin(), answer.end()), reply);
    }
    ASSERT_EQ(executor.Log().size(), std::size(cases));
    EXPECT_EQ(executor.Log()[3].text, "!W");
    EXPECT_EQ(executor.Log()[3].params, (Bytes{0, 0, 1, 0, 0xAB}));
    EXPECT_EQ(executor.Log()[14].error, sim::kErrorAddressRange);
    EXPECT_EQ(executor.Memory().ByteCount(), 1u);
    EXPECT_EQ(executor.EraseCounts()[7], 1u);
}

} // namespace
