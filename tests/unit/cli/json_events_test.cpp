// The JSON lines both ways: numbers and strings as the lines carry them, and what the parent of
// several loads makes of a child's line that is not what an event should be.

#include "cli/json_events.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(JsonLine, NumbersAndStringsAsJsonHasThem) {
    const nlohmann::ordered_json object = {
        {"seconds", JsonNumber(1.23456, 3)},
        {"rate", JsonNumber(9340.6, 0)},
        {"tiny", JsonNumber(-0.0001, 1)},
        {"nan", JsonNumber(std::nan(""), 1)},
        {"inf", JsonNumber(std::numeric_limits<double>::infinity(), 1)},
        {"text", std::string("a\"\\\n\x01 \xC3\xB6 \xFF")},
    };
    EXPECT_EQ(JsonLine(object), "{\"seconds\":1.235,\"rate\":9341,\"tiny\":0,\"nan\":null,"
                                "\"inf\":null,\"text\":\"a\\\"\\\\\\n\\u0001 \xC3\xB6 "
                                "\xEF\xBF\xBD\"}\n");
}

struct ChildLine {
    const char* name;
    const char* line;
    bool event; // read as an event
    RunEvent::Kind kind;
    int exitCode;
    int percent;
    const char* message;
    friend void PrintTo(const ChildLine& c, std::ostream* out) { *out << c.name; }
};

const ChildLine kChildLines[] = {
    {"result", R"( {"event":"result","exit_code":6,"message":"refused","x":[{}]} )", true,
     RunEvent::Kind::kResult, 6, -1, "refused"},
    {"wrong_types_are_left_out", R"({"event":"result","exit_code":"6","message":7,"percent":{}})",
     true, RunEvent::Kind::kResult, -1, -1, ""},
    {"numbers_beyond_int", R"({"event":"progress","exit_code":1e300,"percent":-1e300})", true,
     RunEvent::Kind::kProgress, std::numeric_limits<int>::max(), -std::numeric_limits<int>::max(),
     ""},
    {"unknown_event", R"({"event":5})", true, RunEvent::Kind::kUnknown, -1, -1, ""},
    {"plain_text", "Transmission complete.", false, RunEvent::Kind::kUnknown, -1, -1, ""},
    {"not_an_object", R"(["result"])", false, RunEvent::Kind::kUnknown, -1, -1, ""},
    {"two_objects", R"({"a":1}{"b":2})", false, RunEvent::Kind::kUnknown, -1, -1, ""},
};

class ChildLines : public ::testing::TestWithParam<ChildLine> {};

TEST_P(ChildLines, ReadWithoutTrustingTheirTypes) {
    const ChildLine& c = GetParam();
    RunEvent event;
    ASSERT_EQ(ReadRunEvent(c.line, &event), c.event);
    EXPECT_EQ(event.kind, c.kind);
    EXPECT_EQ(event.exitCode, c.exitCode);
    EXPECT_EQ(event.percent, c.percent);
    EXPECT_EQ(event.message, c.message);
}

INSTANTIATE_TEST_SUITE_P(Table, ChildLines, ::testing::ValuesIn(kChildLines),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
