// The POSIX serial device's termios image of the line settings.

#include "platform/serial_device_posix.h"

#include <gtest/gtest.h>

#include <termios.h>

namespace {

TEST(LineSettingsToTermios, RawWithoutFlowControl) {
    termios tio{};
    tio.c_iflag = IXON | IXOFF | ICRNL;
    tio.c_lflag = ECHO | ICANON;
    tio.c_cflag = CRTSCTS;
    CLineSettings s{57600, 7, CLineSettings::kOdd, 2, false, false};
    ASSERT_TRUE(LineSettingsToTermios(s, tio));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(CS7 | PARENB | PARODD | CSTOPB));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(tio.c_lflag & (ECHO | ICANON));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
    s.baudRate = 12345;
    EXPECT_FALSE(LineSettingsToTermios(s, tio));
}

} // namespace
