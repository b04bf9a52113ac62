// Shared ports over real pseudo-terminals, where the kernel shows what reached the line and who
// holds the device.

#include "platform/com_map.h"
#include "platform/pseudo_terminal.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <termios.h>
#include <thread>

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

    // Waits (bounded) until the client has a byte, as the link's poll loop would.
    static bool PollFor(CPortClient& client) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end) {
            if (client.Transfer(-2) == 1) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    int ReadMaster() {
        uint8_t b = 0;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end) {
            if (::read(pty.MasterFd(), &b, 1) == 1) {
                return b;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return -1;
    }
};

TEST_F(PortOnPty, TwoClientsShareOnePortAndSeeEachOthersTraffic) {
    auto a = std::make_unique<CPortClient>(kIndex, 38400, 8, 'n', 1, 1);
    auto b = std::make_unique<CPortClient>(kIndex, 57600, 8, 'n', 2, 1);
    ASSERT_TRUE(a->IsAttached());
    ASSERT_TRUE(b->IsAttached());
    EXPECT_EQ(a->m_port, b->m_port);
    EXPECT_EQ(PortRegistry().m_count, 1);
    // The joining client's settings are ignored.
    EXPECT_EQ(pty.LineBaudRate(), 38400);

    EXPECT_EQ(a->Transfer('x'), 'x');
    EXPECT_EQ(ReadMaster(), 'x');
    EXPECT_EQ(a->Transfer(-2), 0); // its own byte does not come back to it
    EXPECT_EQ(b->Transfer(-2), 1);
    EXPECT_EQ(b->Transfer(-3), 'x');

    ASSERT_EQ(::write(pty.MasterFd(), "y", 1), 1);
    ASSERT_TRUE(PollFor(*a));
    EXPECT_FALSE(b->RingEmpty()); // read once, delivered to both
    EXPECT_EQ(b->Transfer(-3), 'y');
    EXPECT_EQ(a->Transfer(-3), 'y');

    a.reset();
    EXPECT_EQ(PortRegistry().m_count, 1);
    EXPECT_EQ(b->Transfer('z'), 'z');
    EXPECT_EQ(ReadMaster(), 'z');
    b.reset();
    EXPECT_EQ(PortRegistry().m_count, 0);

    // Closed for real: the device can be locked exclusively again.
    CUniqueFd fd(::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    ASSERT_TRUE(fd.IsValid());
    EXPECT_EQ(::flock(fd.Get(), LOCK_EX | LOCK_NB), 0);
}

TEST_F(PortOnPty, APortHeldOpenCannotBeOpenedASecondTime) {
    CPortClient holder(kIndex, 38400, 8, 'n', 1, 1);
    ASSERT_TRUE(holder.IsAttached());
    auto second = CreatePlatformSerialDevice();
    EXPECT_FALSE(second->Open(kIndex));
    EXPECT_NE(second->LastErrorText().find("in use"), std::string::npos);
}

TEST_F(PortOnPty, RateAndStopBitsReachTheLine) {
    CPortClient client(kIndex, 57600, 8, 'n', 2, 1);
    ASSERT_TRUE(client.IsAttached());
    CUniqueFd fd(::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd.Get(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
    EXPECT_EQ(tio.c_cc[VMIN], 0);

    // Any stop-bit count but 2 means one.
    ASSERT_EQ(client.Configure(115200, 8, 'n', 3, 1), 0);
    ASSERT_EQ(::tcgetattr(fd.Get(), &tio), 0);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(pty.LineBaudRate(), 115200);
}

} // namespace
