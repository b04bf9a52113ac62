// Files that tools really make and people really join, through tovik-cli into the virtual device:
// each refused file is refused before anything is sent, with advice that, followed to the letter
// with the real tools, makes a file that loads whole.

#include "cli_test_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace cli_e2e;
using namespace std::chrono_literals;

// A refused file, the advice to follow (a shell command run in the test's folder, making
// new.s19), and what the device must hold after new.s19 loads (a file in that folder).
struct Mend {
    const char* name;
    const char* make; // shell command making bad.s19 from small.s19 / small0.bin
    const char* refusal;
    const char* advice;
    const char* holds;
    friend void PrintTo(const Mend& m, std::ostream* out) { *out << m.name; }
};

class CliMends : public Cli, public ::testing::WithParamInterface<Mend> {};

TEST_P(CliMends, TheRefusedFileAndTheAdviceThatMakesItLoad) {
    const Mend& m = GetParam();
    names["FILE"] = MakeFirmware(dir, kSmallFirmware);
    MakeFirmware(dir, Firmware{"second", 3, 32, {{0x30000, 700}}});
    ASSERT_EQ(RunShell("cd " + dir + " && " + m.make), 0) << m.make;
    names["BAD"] = dir + "/bad.s19";
    names["NEW"] = dir + "/new.s19";
    ASSERT_NO_FATAL_FAILURE(StartDevice(""));

    // A dry run lists nothing of a file it refuses (that a run sends nothing of it is CliEnds').
    EXPECT_EQ(Run("--dry-run BAD"), 3);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find(m.refusal), std::string::npos) << err;

    ASSERT_EQ(RunShell("cd " + dir + " && " + m.advice), 0) << m.advice;
    const int exitCode = Run("-q --timeout 5 --port PORT NEW");
    device->Stop();
    ASSERT_EQ(exitCode, 0) << err;
    ExpectDeviceHolds(dir + "/" + m.holds);
    ExpectOrderlyCommands(exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliMends,
    ::testing::Values(
        // Two images pasted one behind the other: the second would never be loaded.
        Mend{"JoinedImages", "cat small.s19 second.s19 > bad.s19",
             "Sorry, line 51 of the file holds data after the end record on line 49: two images "
             "were joined by mistake, and the second would not be loaded ! Join them with one end "
             "record at the end, e.g. srec_cat first.s19 second.s19 -o both.s19",
             "srec_cat small.s19 second.s19 -o new.s19", "bad.s19"},
        // Line ends of CR alone (objcopy's lines end in CR LF).
        Mend{"CrLineEnds", "tr -d '\\n' < small.s19 > bad.s19",
             "Sorry, line 1 of the file holds several records: the lines of the file end in a CR "
             "alone ! Convert them to line feeds first, e.g. tr '\\r' '\\n' < old.s19 > new.s19",
             "tr '\\r' '\\n' < bad.s19 > new.s19", "small.s19"},
        // Records of 128 bytes behind a header holding a build's long path, and no end record of
        // its own (srec_cat writes none without a start address).
        Mend{"LongRecordsAndALongHeader",
             "srec_cat small0.bin -binary -offset 0x10000 -o bad.s19 -obs=128 -header "
             "/home/build/a/very/long/path/to/where/the/firmware/of/this/device/is/built/"
             "every/night/by/the/build/machine/of/the/team/that/writes/it/firmware.elf",
             "Sorry, line 2 of the file is too long: 269 characters with its line end, and the "
             "loader reads lines of up to 254 ! Records of 16 to 64 data bytes are what it reads: "
             "rewrite the file with 32 data bytes a line, e.g. srec_cat old.s19 -o new.s19 "
             "-obs=32 -execution-start-address=0",
             "srec_cat bad.s19 -o new.s19 -obs=32 -execution-start-address=0 2>/dev/null",
             "small.s19"},
        // A count record that finds a record missing; srec_cat's own count is right.
        Mend{"ARecordLost",
             "srec_cat small.s19 -o counted.s19 && grep -v '^S2240102A0' counted.s19 > bad.s19",
             "Sorry, line 48 of the file counts 47 data records before it, but 46 are there: "
             "records were lost !",
             "cp counted.s19 new.s19", "small.s19"}),
    [](const auto& info) { return std::string(info.param.name); });

// A stream that is no S-record text is refused at its first line, not read into memory to its
// end: with its memory bounded far below the input, tovik-cli still refuses it.
TEST_F(Cli, AnEndlessStreamIsRefusedAtItsFirstLine) {
    ASSERT_EQ(RunShell("cd " + dir + " && truncate -s 2G zeros.bin"), 0);
    names["ZEROS"] = dir + "/zeros.bin";
    // A sanitizer's shadow memory does not fit under the limit; the refusal is the same anyway.
    const bool instrumented =
        RunShell("ldd '" + TestProgram(TOVIK_CLI_PATH) + "' | grep -q -e libasan -e libtsan") == 0;
    const std::string limit = instrumented ? "" : "ulimit -v 262144 && ";
    for (const char* input : {"/dev/zero", "ZEROS"}) {
        const int exitCode = RunShell(limit + CommandLine(std::string("--dry-run ") + input) +
                                      " > " + dir + "/out 2> " + dir + "/err");
        EXPECT_EQ(exitCode, 3) << input;
        EXPECT_EQ(ReadText(dir + "/err"), "Sorry, line 1 of the file is not an S-record !\n")
            << input;
        EXPECT_EQ(ReadText(dir + "/out"), "") << input;
    }
}

} // namespace
