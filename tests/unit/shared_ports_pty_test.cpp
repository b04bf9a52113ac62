// Shared ports over real pseudo-terminals, where the kernel shows what reached the line and who
// holds the device.

#include "platform/com_map.h"
#include "platform/pseudo_terminal.h"
#include "serial/serial_port.h"

#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct PortOnPty : ::testing::Test {
    static constexpr int kIndex = 2;
    CPseudoTerminal pty;
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(pty.Open(&error)) << error;
        SetComDevicePath(kIndex, pty.SlavePath());
    }
    void TearDown() override { SetComDevicePath(kIndex, ""); }
    bool MasterReads(char expected) {
        char b = 0;
        return WaitUntil([&] { return ::read(pty.MasterFd(), &b, 1) == 1; }) && b == expected;
    }
};

TEST_F(PortOnPty, TwoClientsShareOnePortNobodyElseOpensItAndTheLastClosesIt) {
    auto a = std::make_unique<CPortClient>(kIndex, 57600, 8, 'n', 2, 1);
    auto b = std::make_unique<CPortClient>(kIndex, 38400, 8, 'n', 1, 1);
    ASSERT_TRUE(a->IsAttached() && b->IsAttached());
    auto other = CreatePlatformSerialDevice();
    EXPECT_FALSE(other->Open(kIndex));
    EXPECT_NE(other->LastErrorText().find("in use"), std::string::npos);

    // Rate and stop bits as the line shows them; the joining client's settings are ignored.
    CUniqueFd fd(::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd.Get(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    // Any stop-bit count but 2 means one.
    ASSERT_EQ(a->Configure(115200, 8, 'n', 3, 1), 0);
    ASSERT_EQ(::tcgetattr(fd.Get(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_FALSE(tio.c_cflag & CSTOPB);

    EXPECT_EQ(a->Transfer('x'), 'x');
    EXPECT_TRUE(MasterReads('x'));
    EXPECT_EQ(a->Transfer(-2), 0); // its own byte does not come back to it
    ASSERT_EQ(b->Transfer(-2), 1);
    EXPECT_EQ(b->Transfer(-3), 'x');
    ASSERT_EQ(::write(pty.MasterFd(), "y", 1), 1);
    ASSERT_TRUE(WaitUntil([&] { return a->Transfer(-2) == 1; }));
    EXPECT_FALSE(b->RingEmpty()); // read once, delivered to both
    EXPECT_EQ(b->Transfer(-3), 'y');
    EXPECT_EQ(a->Transfer(-3), 'y');

    a.reset();
    EXPECT_EQ(b->Transfer('z'), 'z');
    EXPECT_TRUE(MasterReads('z'));
    b.reset();
    // Closed for real: the device can be locked exclusively again.
    EXPECT_EQ(::flock(fd.Get(), LOCK_EX | LOCK_NB), 0);
}

} // namespace
