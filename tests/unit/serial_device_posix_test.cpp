// The POSIX serial device: its termios image of the line settings, what it refuses to open and
// why, and its advice on a USB adapter's latency timer.

#include "platform/com_map.h"
#include "platform/serial_device_posix.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <termios.h>

namespace {

// The line as another program may have left it: every setting that is not 8N1 must go.
TEST(LineSettingsToTermios, RawEightNoneOneWithoutFlowControl) {
    termios tio{};
    tio.c_iflag = IXON | IXOFF | ICRNL;
    tio.c_lflag = ECHO | ICANON;
    tio.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
    CLineSettings s{57600, 8, CLineSettings::kNone, 1, false, false};
    ASSERT_TRUE(LineSettingsToTermios(s, tio));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(tio.c_lflag & (ECHO | ICANON));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
    s.baudRate = 12345;
    EXPECT_FALSE(LineSettingsToTermios(s, tio));
}

// What is no serial line is refused before anything is written to it, with the path and why.
TEST(PosixDevice, RefusesWhatIsNotASerialLine) {
    const ScratchDir scratch;
    const std::string dir = scratch.Path();
    std::ofstream(dir + "/file") << "firmware";
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        CPortOpenFailure::Kind kind;
        const char* reason;
    } cases[] = {
        {"/dev/null", CPortOpenFailure::kNotSerial, "not a serial device (it has no line settings"},
        {dir + "/file", CPortOpenFailure::kNotSerial, "a regular file, not a serial device"},
        {dir + "/fifo", CPortOpenFailure::kNotSerial, "a FIFO, not a serial device"},
        {dir, CPortOpenFailure::kNotSerial, "a directory, not a serial device"},
        {"/dev/tty", CPortOpenFailure::kOwnTerminal, "the terminal this program runs in"},
        {dir + "/ttyUSB9", CPortOpenFailure::kNoDevice, "no such device"},
        // Each open makes a new pseudo-terminal that nobody answers on.
        {"/dev/ptmx", CPortOpenFailure::kNotSerial,
         "the pseudo-terminal multiplexer, not a serial"},
    };
    for (const auto& c : cases) {
        SetComDevicePath(5, c.path);
        auto device = CreatePlatformSerialDevice();
        EXPECT_FALSE(device->Open(5)) << c.path;
        const CPortOpenFailure f = device->OpenFailure();
        EXPECT_EQ(f.kind, c.kind) << c.path;
        EXPECT_EQ(f.path, c.path);
        EXPECT_EQ(f.Text().rfind("cannot open " + c.path + ": ", 0), 0u) << f.Text();
        EXPECT_NE(f.reason.find(c.reason), std::string::npos) << f.reason;
        EXPECT_NE(f.fix.find("--list-ports"), std::string::npos) << f.fix;
    }
    SetComDevicePath(5, "");
    std::ifstream content(dir + "/file");
    std::string text;
    content >> text;
    EXPECT_EQ(text, "firmware");
}

TEST(PosixDevice, LatencyTimerAdviceOnlyAboveOneMillisecond) {
    const ScratchDir scratch;
    const std::string sys = scratch.Path();
    const std::pair<const char*, bool> cases[] = {
        {"16\n", true}, {"1\n", false}, {"x", false}, {nullptr, false}};
    for (const auto& [content, advised] : cases) {
        const std::string device = sys + "/ttyUSB7/device";
        std::filesystem::remove_all(device);
        std::filesystem::create_directories(device);
        if (content) {
            std::ofstream(device + "/latency_timer") << content;
        }
        const std::string advice = LatencyTimerAdvice("/dev/ttyUSB7", sys);
        EXPECT_EQ(!advice.empty(), advised) << advice;
        if (advised) {
            EXPECT_NE(advice.find("/dev/ttyUSB7 holds received bytes for 16 ms"),
                      std::string::npos);
            EXPECT_NE(advice.find("echo 1 > " + device + "/latency_timer"), std::string::npos);
            EXPECT_NE(advice.find("ATTR{latency_timer}=\"1\""), std::string::npos);
        }
    }
}

} // namespace
