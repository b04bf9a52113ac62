// tovik-cli --json: the begin event counts the file's lines as an editor (and --dry-run) does,
// whether or not the last line ends with a line end.

#include "cli_test_fixture.h"

#include <regex>

namespace cli_e2e {
namespace {

struct LineEnds {
    const char* name;
    const char* edit; // a shell command run on the file, FILE standing for its path
    friend void PrintTo(const LineEnds& l, std::ostream* out) { *out << l.name; }
};

class CliJsonBegin : public Cli, public ::testing::WithParamInterface<LineEnds> {};

TEST_P(CliJsonBegin, CountsTheLinesOfTheFile) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    std::string edit = GetParam().edit;
    edit.replace(edit.find("FILE"), 4, names["FILE"]);
    ASSERT_EQ(RunShell(edit), 0) << edit;
    const std::string text = ReadText(names["FILE"]);
    const long lines = std::count(text.begin(), text.end(), '\n') + (text.back() != '\n');

    ASSERT_EQ(Run("--dry-run FILE"), 0) << err;
    EXPECT_NE(out.find(" " + std::to_string(lines) + " lines\n"), std::string::npos) << out;

    ASSERT_NO_FATAL_FAILURE(StartDevice(""));
    ASSERT_EQ(Run("--json -q --timeout 10 --port PORT FILE"), 0) << err;
    std::smatch found;
    ASSERT_TRUE(
        std::regex_search(out, found, std::regex("\"event\":\"begin\".*\"lines\":([0-9]+)")))
        << out;
    EXPECT_EQ(std::stol(found[1]), lines) << out;
}

INSTANTIATE_TEST_SUITE_P(Files, CliJsonBegin,
                         ::testing::Values(LineEnds{"LastLineEnded", "test -f FILE"},
                                           LineEnds{"LastLineOpen", "truncate -s -1 FILE"},
                                           LineEnds{"CarriageReturns", "sed -i 's/$/\\r/' FILE"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace cli_e2e

namespace cli_e2e {
namespace {

// A failed erase pass sends the run back to searching: the search again is a phase of its own,
// from the rate that answered, before the next erase pass.
TEST_F(Cli, JsonTellsTheSearchAgainAfterAFailedErase) {
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    ASSERT_NO_FATAL_FAILURE(StartDevice("--erase-fail-once 3"));
    ASSERT_EQ(Run("--json -q --timeout 10 --baud auto --port PORT FILE"), 0) << err;
    std::string phases;
    const std::regex phase("\"phase\":\"([a-z]+)\"(,\"baud\":([0-9]+))?\\}");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), phase);
         it != std::sregex_iterator(); ++it) {
        phases += (*it)[1].str() + ((*it)[3].length() ? " " + (*it)[3].str() : "") + ",";
    }
    const std::string expected =
        "searching 38400,erasing 38400,searching 38400,erasing 38400,programming,";
    EXPECT_EQ(phases.substr(0, expected.size()), expected) << out;
}

} // namespace
} // namespace cli_e2e
