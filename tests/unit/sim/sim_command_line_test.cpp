// The program's arguments, as launcher scripts and the end-to-end tests pass them.

#include "sim/sim_command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

SimCommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tovik-sim");
    return ParseSimCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(SimCommandLine, EveryOptionReachesItsField) {
    const SimCommandLine defaults = Parse({});
    ASSERT_TRUE(defaults.run);
    EXPECT_EQ(defaults.options.eraseMs, 20);
    EXPECT_FALSE(defaults.options.eraseFailOnce || defaults.options.writeError);

    const SimCommandLine line = Parse({"--link",
                                       "/tmp/port",
                                       "--baud-only",
                                       "19200",
                                       "--wire-baud",
                                       "9600",
                                       "--erase-ms",
                                       "5",
                                       "--reply-delay-ms",
                                       "7",
                                       "--drop-first",
                                       "--noise",
                                       "--erase-fail-once",
                                       "3",
                                       "--write-err",
                                       "ffffFFFE",
                                       "--go-silent",
                                       "--dump",
                                       "/tmp/d.s3",
                                       "--trace",
                                       "--exit-after-go"});
    ASSERT_TRUE(line.run);
    const SimOptions& o = line.options;
    EXPECT_EQ(o.linkPath, "/tmp/port");
    EXPECT_EQ(o.baudOnly, 19200);
    EXPECT_EQ(o.wireBaud, 9600);
    EXPECT_EQ(o.eraseMs, 5);
    EXPECT_EQ(o.replyDelayMs, 7);
    EXPECT_TRUE(o.dropFirst && o.noise && o.goSilent && o.trace && o.exitAfterGo);
    EXPECT_EQ(o.eraseFailOnce, 3);
    EXPECT_EQ(o.writeError, 0xFFFFFFFEu);
    EXPECT_EQ(o.dumpPath, "/tmp/d.s3");
}

TEST(SimCommandLine, BadValuesStopTheProgramWithAnError) {
    const std::vector<std::vector<const char*>> bad = {
        {"--write-err", "1234567"}, {"--write-err", "0x123456"}, {"--erase-fail-once", "256"},
        {"--wire-baud", "0"},       {"--erase-ms", "-1"},        {"--no-such-option"},
    };
    for (const auto& args : bad) {
        const SimCommandLine line = Parse(args);
        EXPECT_FALSE(line.run) << args[0];
        EXPECT_EQ(line.exitCode, 2) << args[0];
    }
}

} // namespace
