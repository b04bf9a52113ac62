// A child of a load into several ports that ends without its result: the parent tells how far it
// had come and what that left on the device, from the events the child sent before it ended (the
// figures the message gives are all the parent keeps of them).

#include "cli/json_events.h"
#include "cli/missing_result.h"
#include "cli/port_board.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Missing {
    const char* name;
    std::vector<const char*> events; // what the child sent
    int exitCode;
    bool interruptedAgain;
    const char* message;
    friend void PrintTo(const Missing& m, std::ostream* out) { *out << m.name; }
};

const char kSearch[] = R"({"event":"phase","phase":"searching","baud":38400})";
const char kErase[] = R"({"event":"phase","phase":"erasing","baud":57600})";
const char kProgram[] = R"({"event":"phase","phase":"programming"})";
const char kFirstBlocks[] =
    R"({"event":"progress","phase":"programming","percent":10,"bytes":3168,"blocks":16})";
const char kMoreBlocks[] =
    R"({"event":"progress","phase":"programming","percent":22,"bytes":7168,"blocks":28})";

const Missing kMissing[] = {
    {"KilledBeforeTheSearch",
     {R"({"event":"begin"})"},
     137,
     false,
     "tovik-cli ended without a result (exit 137) before it looked for the device; nothing was "
     "erased"},
    {"InterruptedAgainWhileSearching",
     {kSearch},
     130,
     true,
     "interrupted again while searching for the device; nothing was erased"},
    {"KilledDuringErasing",
     {kSearch, kErase, R"({"event":"progress","phase":"erasing","percent":42})"},
     137,
     false,
     "tovik-cli ended without a result (exit 137) during erasing; the device is erased"},
    {"SearchingAgainAfterAFailedErase",
     {kSearch, kErase, kSearch},
     130,
     true,
     "interrupted again while searching again after a failed erase; the device may be partly "
     "erased"},
    {"InterruptedAgainDuringProgramming",
     {kSearch, kErase, kProgram, kFirstBlocks, kMoreBlocks},
     130,
     true,
     "interrupted again during programming, after 7168 bytes in 28 blocks at 57600 baud; the "
     "device is only partly programmed"},
    // A 130 of its own, without a second interrupt, is not told as one.
    {"EndedWith130Unasked",
     {kSearch, kErase, kProgram, kFirstBlocks},
     130,
     false,
     "tovik-cli ended without a result (exit 130) during programming, after 3168 bytes in 16 "
     "blocks at 57600 baud; the device is only partly programmed"},
    {"KilledBeforeTheFirstBlock",
     {kSearch, kErase, kProgram},
     137,
     false,
     "tovik-cli ended without a result (exit 137) during programming at 57600 baud; the device "
     "is only partly programmed"},
    {"KilledWhileStarting",
     {kSearch, kErase, kProgram, kMoreBlocks, R"({"event":"phase","phase":"starting"})"},
     137,
     false,
     "tovik-cli ended without a result (exit 137) while starting the device, after 7168 bytes in "
     "28 blocks at 57600 baud; all data written, but the device did not confirm the start"},
};

class MissingResult : public ::testing::TestWithParam<Missing> {};

TEST_P(MissingResult, ToldFromTheLastEvents) {
    const Missing& m = GetParam();
    PortState state;
    for (const char* line : m.events) {
        RunEvent event;
        ASSERT_TRUE(ReadRunEvent(line, &event)) << line;
        ApplyEvent(event, &state);
    }
    EXPECT_EQ(MissingResultMessage(state, m.exitCode, m.interruptedAgain), m.message);
}

INSTANTIATE_TEST_SUITE_P(Table, MissingResult, ::testing::ValuesIn(kMissing),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
