// A child of a load into several ports gets the parent's options written back as arguments, with
// its own one port, --json, --quiet and the checked copy; they must parse to the parent's options.

#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

CliParse Parse(const std::vector<std::string>& words) {
    std::vector<const char*> argv{"tovik-cli"};
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    return ParseCliOptions(static_cast<int>(argv.size()), argv.data());
}

std::vector<std::string> Split(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

struct ChildCase {
    const char* name;
    const char* parent; // the parent's arguments
    friend void PrintTo(const ChildCase& c, std::ostream* out) { *out << c.name; }
};

const ChildCase kCases[] = {
    {"defaults", "--port A --port B fw.s19"},
    {"short_forms_and_groups", "-qp A -pB -b 57600 --trace fw.s19"},
    {"auto_baud_upper_case", "-b AUTO -p A -p B fw.s19"},
    {"every_option", "--timeout 0.1 --wait-port 12.5 --handshake 3 --json -q --port A --port B "
                     "--baud 115200 fw.s19"},
    {"seconds_that_need_every_digit", "--timeout 0.30000000000000004 -p A -p B fw.s19"},
    {"file_that_looks_like_an_option", "--port A --port B -- -p.s19"},
    {"station_with_its_record", "--station --count 7 --log /var/log/t.jsonl --station-name line-3 "
                                "--station-tally /tmp/t -p A -p B fw.s19"},
};

class ChildOptions : public ::testing::TestWithParam<ChildCase> {};

TEST_P(ChildOptions, ParseToTheParentsOptionsForOnePort) {
    const CliParse parent = Parse(Split(GetParam().parent));
    ASSERT_TRUE(parent.run);
    const std::vector<std::string> words = ChildArguments(parent.options, "X", "/tmp/copy");
    const CliParse child = Parse(words);
    ASSERT_TRUE(child.run);
    const CliOptions& p = parent.options;
    const CliOptions& c = child.options;
    EXPECT_EQ(c.ports, std::vector<std::string>{"X"});
    EXPECT_EQ(c.port, "X");
    EXPECT_TRUE(c.json);
    EXPECT_TRUE(c.quiet);
    EXPECT_EQ(c.checkedCopy, "/tmp/copy");
    EXPECT_EQ(c.file, p.file);
    EXPECT_EQ(c.baudIndex, p.baudIndex);
    EXPECT_EQ(c.timeoutSeconds, p.timeoutSeconds);
    EXPECT_EQ(c.waitPortSeconds, p.waitPortSeconds);
    EXPECT_EQ(c.handshake, p.handshake);
    EXPECT_EQ(c.trace, p.trace);
    EXPECT_EQ(c.station, p.station);
    EXPECT_EQ(c.count, p.count);
    EXPECT_EQ(c.logPath, p.logPath);
    EXPECT_EQ(c.stationName, p.stationName);
    EXPECT_EQ(c.stationTally, p.stationTally);
    EXPECT_TRUE(c.child);
    // Whatever the writer writes reads back the same: written again, the words do not change.
    EXPECT_EQ(ChildArguments(c, "X", "/tmp/copy"), words);
}

INSTANTIATE_TEST_SUITE_P(Table, ChildOptions, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A station loads without limit on given ports; what contradicts that is refused before anything
// is read or opened.
TEST(StationOptions, RefusesWhatAStationCannotDo) {
    const char* const refused[] = {
        "--station fw.s19",
        "--station --simulate fw.s19",
        "--station --dry-run -p A fw.s19",
        "--station --timeout 5 -p A fw.s19",
        "--station --wait-port 5 -p A fw.s19",
        "--count 3 -p A fw.s19",
        "--station --count 0 -p A fw.s19",
        "--log l.jsonl --dry-run fw.s19",
    };
    for (const char* words : refused) {
        const CliParse parse = Parse(Split(words));
        EXPECT_FALSE(parse.run) << words;
        EXPECT_EQ(parse.exitCode, 2) << words;
    }
    EXPECT_TRUE(Parse(Split("--station --count 1 --log l.jsonl -p A fw.s19")).run);
    EXPECT_TRUE(Parse(Split("--log l.jsonl --simulate fw.s19")).run);
}

} // namespace
