// The JSON lines of --json: what the writer makes of awkward text, what the reader (the parent of
// several loads) accepts and refuses, and that the two agree on every string the writer makes.

#include "cli/json_reader.h"
#include "cli/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct Escaped {
    const char* name;
    std::string text;
    std::string json; // what JsonString must make of it
    std::string back; // what reading that back must give
};

const Escaped kEscaped[] = {
    {"plain", "/dev/ttyUSB0", "\"/dev/ttyUSB0\"", "/dev/ttyUSB0"},
    {"quotes_and_backslashes", "say \"hi\" C:\\fw\\", R"("say \"hi\" C:\\fw\\")",
     "say \"hi\" C:\\fw\\"},
    {"short_escapes", "a\nb\rc\td", R"("a\nb\rc\td")", "a\nb\rc\td"},
    {"other_control_characters", std::string("\x01\x08\x0c\x1b\x1f\x7f", 6),
     R"("\u0001\u0008\u000c\u001b\u001f\u007f")", std::string("\x01\x08\x0c\x1b\x1f\x7f", 6)},
    {"nul", std::string("a\0b", 3), R"("a\u0000b")", std::string("a\0b", 3)},
    {"slash_stays", "a/b", "\"a/b\"", "a/b"},
    {"utf8_kept", "K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x98\x80",
     "\"K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x98\x80\"", "K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x98\x80"},
    // A file name is any bytes on POSIX; the line must still be UTF-8.
    {"stray_byte",
     "a\xFF"
     "b",
     "\"a\xEF\xBF\xBD"
     "b\"",
     "a\xEF\xBF\xBD"
     "b"},
    {"truncated_sequence_at_end", "a\xC3", "\"a\xEF\xBF\xBD\"", "a\xEF\xBF\xBD"},
    {"truncated_sequence_in_middle", "\xE2\x82x", "\"\xEF\xBF\xBD\xEF\xBF\xBDx\"",
     "\xEF\xBF\xBD\xEF\xBF\xBDx"},
    {"overlong_slash", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\"", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"surrogate_in_utf8", "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"",
     "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"above_10FFFF", "\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"",
     "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
};

class JsonEscaping : public ::testing::TestWithParam<Escaped> {};

TEST_P(JsonEscaping, WritesAndReadsBack) {
    const Escaped& e = GetParam();
    EXPECT_EQ(JsonString(e.text), e.json);
    const std::string line = JsonObject().AddString("message", e.text).Line();
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one object, one line";
    JsonFields fields;
    std::string error;
    ASSERT_TRUE(ParseJsonObject(line, &fields, &error)) << error << ": " << line;
    EXPECT_EQ(fields.String("message", "<none>"), e.back);
}

INSTANTIATE_TEST_SUITE_P(Table, JsonEscaping, ::testing::ValuesIn(kEscaped),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JsonObject, MembersInOrderWithNumbersAsJsonHasThem) {
    const std::string line = JsonObject()
                                 .AddString("event", "result")
                                 .AddInt("exit_code", 6)
                                 .AddInt("bytes", 5000000000LL)
                                 .AddNumber("seconds", 1.23456, 3)
                                 .AddNumber("rate", -0.0001, 1)
                                 .AddNumber("nan", std::nan(""), 1)
                                 .AddNumber("inf", std::numeric_limits<double>::infinity(), 1)
                                 .AddNumber("huge", 1e300, 0)
                                 .AddBool("ok", false)
                                 .AddNull("baud")
                                 .Line();
    const std::string begins = "{\"event\":\"result\",\"exit_code\":6,\"bytes\":5000000000,"
                               "\"seconds\":1.235,\"rate\":0,\"nan\":null,\"inf\":null,\"huge\":1";
    const std::string ends = "0,\"ok\":false,\"baud\":null}\n";
    EXPECT_EQ(line.substr(0, begins.size()), begins);
    EXPECT_EQ(line.substr(line.size() - ends.size()), ends);
    EXPECT_EQ(line.size(), begins.size() + 299 + ends.size()) << "1e300 in its 301 digits";
    JsonFields fields;
    std::string error;
    ASSERT_TRUE(ParseJsonObject(line, &fields, &error)) << error;
    EXPECT_EQ(fields.Number("huge", 0), 1e300);
    EXPECT_EQ(fields.m_values.at("ok").kind, JsonValue::Kind::kBool);
    EXPECT_EQ(fields.m_values.at("baud").kind, JsonValue::Kind::kNull);
    EXPECT_EQ(JsonObject().Line(), "{}\n");
}

struct ReadCase {
    const char* name;
    const char* line;
    bool ok;
    const char* key;   // ok: this member ...
    const char* value; // ... is this string, or this number when it starts with '#'
};

const ReadCase kReadCases[] = {
    {"blanks_around", "  { \"a\" : \"x\" , \"b\" : 2 }  \r\n", true, "b", "#2"},
    {"number_forms", R"({"n":-12.5e+2})", true, "n", "#-1250"},
    {"unicode_escape", R"({"s":"\u00e4\u20AC"})", true, "s", "\xC3\xA4\xE2\x82\xAC"},
    {"surrogate_pair", R"({"s":"\ud83d\ude00"})", true, "s", "\xF0\x9F\x98\x80"},
    {"lone_surrogate", R"({"s":"\ud83dx"})", true, "s", "\xEF\xBF\xBDx"},
    {"other_escapes", R"({"s":"\/\b\f"})", true, "s", "/\b\f"},
    {"nested_passed_over", R"({"x":{"y":[1,{"z":[]}]},"s":"after"})", true, "s", "after"},
    {"repeated_member_last_wins", R"({"s":"a","s":"b"})", true, "s", "b"},
    {"empty_object", "{}", true, nullptr, nullptr},
    {"not_an_object", R"(["a"])", false, nullptr, nullptr},
    {"empty_line", "", false, nullptr, nullptr},
    {"plain_text", "Transmission complete.", false, nullptr, nullptr},
    {"two_objects", R"({"a":1}{"b":2})", false, nullptr, nullptr},
    {"trailing_comma", R"({"a":1,})", false, nullptr, nullptr},
    {"missing_colon", R"({"a" 1})", false, nullptr, nullptr},
    {"unquoted_key", R"({a:1})", false, nullptr, nullptr},
    {"unterminated_string", R"({"a":"x)", false, nullptr, nullptr},
    {"raw_newline_in_string", "{\"a\":\"x\ny\"}", false, nullptr, nullptr},
    {"bad_escape", R"({"a":"\x41"})", false, nullptr, nullptr},
    {"short_unicode_escape", R"({"a":"\u12"})", false, nullptr, nullptr},
    {"leading_zero", R"({"a":01})", false, nullptr, nullptr},
    {"bare_point", R"({"a":1.})", false, nullptr, nullptr},
    {"plus_sign", R"({"a":+1})", false, nullptr, nullptr},
    {"nan_word", R"({"a":NaN})", false, nullptr, nullptr},
    {"truncated_word", R"({"a":tru})", false, nullptr, nullptr},
    {"unclosed", R"({"a":1)", false, nullptr, nullptr},
};

class JsonReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(JsonReading, AcceptsJsonAndNothingElse) {
    const ReadCase& c = GetParam();
    JsonFields fields;
    std::string error;
    ASSERT_EQ(ParseJsonObject(c.line, &fields, &error), c.ok) << error;
    if (!c.ok) {
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(fields.m_values.empty());
        return;
    }
    if (c.key == nullptr) {
        EXPECT_TRUE(fields.m_values.empty());
    } else if (c.value[0] == '#') {
        EXPECT_EQ(fields.Number(c.key, -999), std::strtod(c.value + 1, nullptr));
    } else {
        EXPECT_EQ(fields.String(c.key, "<none>"), c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, JsonReading, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JsonReading, RefusesNestingDeeperThanAnyEvent) {
    const std::string deep = "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    JsonFields fields;
    std::string error;
    EXPECT_FALSE(ParseJsonObject(deep, &fields, &error));
    EXPECT_NE(error.find("nested"), std::string::npos) << error;
}

} // namespace
