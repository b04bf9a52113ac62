// A child of a load into several ports gets the parent's arguments with every form of the port
// option replaced by its own one port; and what it gets parses to the parent's options.

#include "cli/child_arguments.h"
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

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
    const char* child;  // what the child for port X gets
};

const ChildCase kCases[] = {
    {"long_forms", "--port A --baud 115200 --port=B fw.s19",
     "--baud 115200 fw.s19 --port X --json --quiet"},
    {"short_forms", "-p A -pB -b 57600 fw.s19", "-b 57600 fw.s19 --port X --json --quiet"},
    {"port_in_a_flag_group", "-qp A --trace -qpB fw.s19",
     "-q --trace -q fw.s19 --port X --json --quiet"},
    // 'b' takes the rest of its word, or the next one, as its value, which stays with it.
    {"baud_value_after_a_group", "-qb 115200 -p A fw.s19",
     "-qb 115200 fw.s19 --port X --json --quiet"},
    {"baud_value_in_a_group", "-qbauto -p A fw.s19", "-qbauto fw.s19 --port X --json --quiet"},
    {"other_options_kept", "--timeout 5 --wait-port 10 --handshake 3 --json -q --port A fw.s19",
     "--timeout 5 --wait-port 10 --handshake 3 --json -q fw.s19 --port X --json --quiet"},
    // After "--" every word is a file; the child's options must come before it.
    {"after_double_dash", "--port A -- -p.s19", "--port X --json --quiet -- -p.s19"},
};

class ChildArguments : public ::testing::TestWithParam<ChildCase> {};

TEST_P(ChildArguments, CarryEverythingButThePorts) {
    const ChildCase& c = GetParam();
    const std::vector<std::string> child = ArgumentsForOnePort(Split(c.parent), "X");
    EXPECT_EQ(child, Split(c.child));

    // What the child reads from them: the parent's options, its own port, JSON and quiet.
    std::vector<const char*> parentArgv{"tovik-cli"}, childArgv{"tovik-cli"};
    const std::vector<std::string> parentWords = Split(c.parent);
    for (const std::string& w : parentWords) {
        parentArgv.push_back(w.c_str());
    }
    for (const std::string& w : child) {
        childArgv.push_back(w.c_str());
    }
    const CliParse parent = ParseCliOptions(static_cast<int>(parentArgv.size()), parentArgv.data());
    const CliParse parsed = ParseCliOptions(static_cast<int>(childArgv.size()), childArgv.data());
    ASSERT_TRUE(parent.run);
    ASSERT_TRUE(parsed.run);
    EXPECT_GE(parent.options.ports.size(), 1u);
    EXPECT_EQ(parsed.options.ports, std::vector<std::string>{"X"});
    EXPECT_TRUE(parsed.options.json);
    EXPECT_TRUE(parsed.options.quiet);
    EXPECT_EQ(parsed.options.file, parent.options.file);
    EXPECT_EQ(parsed.options.baudIndex, parent.options.baudIndex);
    EXPECT_EQ(parsed.options.timeoutSeconds, parent.options.timeoutSeconds);
    EXPECT_EQ(parsed.options.waitPortSeconds, parent.options.waitPortSeconds);
    EXPECT_EQ(parsed.options.handshake, parent.options.handshake);
    EXPECT_EQ(parsed.options.trace, parent.options.trace);
}

INSTANTIATE_TEST_SUITE_P(Table, ChildArguments, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
