// The record's one line: its members in their order, null where nothing is known, and the time
// in UTC from the calendar's own arithmetic.

#include "cli/load_record.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using std::chrono::milliseconds;
using std::chrono::system_clock;

TEST(LoadRecord, MembersInOrderNullWhereUnknownBoardOnlyForAStation) {
    LoadRecord r;
    r.time = system_clock::time_point(milliseconds(1796638503120));
    r.station = "bench7";
    r.port = "/dev/serial/by-path/pci-0:1";
    r.device = "/dev/ttyUSB0";
    r.file = "fw.s19";
    r.sha256 = "ab";
    r.bytes = 32237;
    r.blocks = 146;
    r.seconds = 3.60249;
    r.exitCode = 5;
    r.message = "no device";
    const std::string tail = R"(,"tool":"tovik-cli )" TOVIK_VERSION R"("})"
                             "\n";
    const std::string line =
        R"({"time":"2026-12-07T10:15:03.120Z","station":"bench7","port":"/dev/serial/by-path/pci-0:1",)"
        R"("device":"/dev/ttyUSB0","adapter":null,"file":"fw.s19","sha256":"ab","bytes":32237,)"
        R"("blocks":146,"baud":null,"seconds":3.602,"exit_code":5,"message":"no device")";
    EXPECT_EQ(LoadRecordLine(r), line + tail);
    r.adapter = "/dev/serial/by-id/usb-X";
    r.baud = 115200;
    r.board = 3;
    const nlohmann::json station = nlohmann::json::parse(LoadRecordLine(r));
    EXPECT_EQ(station["adapter"], "/dev/serial/by-id/usb-X");
    EXPECT_EQ(station["baud"], 115200);
    EXPECT_EQ(station["board"], 3);
    EXPECT_NE(LoadRecordLine(r).find(R"(,"board":3,"tool":)"), std::string::npos);
}

struct Moment {
    long long ms; // since 1970-01-01T00:00:00Z
    const char* text;
};

const Moment kMoments[] = {
    {0, "1970-01-01T00:00:00.000Z"},
    {951782400999, "2000-02-29T00:00:00.999Z"},  // a leap day of a year divisible by 400
    {4107542399001, "2100-02-28T23:59:59.001Z"}, // 2100 has no 29 February
    {-1, "1969-12-31T23:59:59.999Z"},
};

TEST(LoadRecord, IsoTimeUtc) {
    for (const Moment& m : kMoments) {
        EXPECT_EQ(IsoTimeUtc(system_clock::time_point(milliseconds(m.ms))), m.text) << m.ms;
    }
}

} // namespace
