// The ends of a programming pass that the end-to-end runs cannot bring about on purpose, from the
// pass's result to tovik-cli's exit code and text.

#include "cli/exit_codes.h"
#include "cli/outcome_report.h"
#include "cli/user_messages.h"
#include "loader/program_file.h"

#include <gtest/gtest.h>

namespace {

struct PassEnd {
    const char* name;
    int code;          // what the pass returned
    bool writeNotSent; // a write failed before it reached the line
    bool startAbandoned;
    bool deviceFound;
    int exitCode;
    const char* told;
};

class PassEndReport : public ::testing::TestWithParam<PassEnd> {};

TEST_P(PassEndReport, ToldWithItsExitCode) {
    const PassEnd& c = GetParam();
    CRunResult result;
    result.m_bDeviceFound = c.deviceFound;
    result.m_bProgramEnded = true;
    result.m_nProgramResult = c.code;
    result.m_bStartAbandoned = c.startAbandoned;
    if (c.writeNotSent) {
        result.m_bWriteRefused = true;
        result.m_bWriteNotSent = true;
        result.m_nRefusedAddress = 0x10000;
    }
    const std::string before = ToldText();
    EXPECT_EQ(ReportOutcome(PassOutcome(c.code, RunEnd::kStopped, result), {}), c.exitCode);
    EXPECT_NE(ToldText().find(c.told, before.size()), std::string::npos) << ToldText();
}

INSTANTIATE_TEST_SUITE_P(
    Table, PassEndReport,
    ::testing::Values(PassEnd{"WriteNotSent", -1, true, false, true, kExitWriteRefused,
                              "Protocollerror !\nthe write at 0x00010000 could not be sent within"},
                      PassEnd{"BadLine", 2, false, false, true, kExitBadFile,
                              "the file could not be read during programming (2)"},
                      PassEnd{"NoEndRecord", kProgramNoEndRecord, false, false, true, kExitBadFile,
                              "the file could not be read during programming (-11)"},
                      PassEnd{"StoppedWhileStarting", 0, false, true, true, kExitNotStarted,
                              "Transmission complete.\nstopped while waiting: all data written"},
                      PassEnd{"StoppedWhileProgramming", kProgramStopped, false, false, true,
                              kExitInterrupted,
                              "stopped; the device is erased or only partly programmed"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
