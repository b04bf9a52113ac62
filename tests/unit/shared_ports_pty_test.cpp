// Shared ports over real pseudo-terminals, where the kernel shows what reached the line, who
// holds the device, what its line settings are after the port has gone, and what a user who is
// not root may open.

#include "platform/com_map.h"
#include "platform/pseudo_terminal.h"
#include "serial/port_status.h"
#include "serial/serial_port.h"

#include "tests/support/forked_check.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A tty's line settings as one comparable text.
std::string LineImage(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return "no settings";
    }
    char text[160];
    std::snprintf(text, sizeof text, "i%o o%o c%o l%o speed %u/%u min %d time %d", t.c_iflag,
                  t.c_oflag, t.c_cflag, t.c_lflag, ::cfgetispeed(&t), ::cfgetospeed(&t),
                  t.c_cc[VMIN], t.c_cc[VTIME]);
    return text;
}

// Puts the line into a state no port would leave it in: cooked, echoing, 9600 baud.
void MakeCooked(int fd) {
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_iflag |= ICRNL | IXON;
    t.c_oflag |= OPOST | ONLCR;
    t.c_cc[VMIN] = 1;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
}

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
    CUniqueFd OpenSlave() {
        return CUniqueFd(::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    }
};

TEST_F(PortOnPty, TwoClientsShareOnePortNobodyElseOpensItAndTheLastClosesIt) {
    // Opened before the port: once it is open, TIOCEXCL keeps out anyone but root.
    CUniqueFd fd = OpenSlave();
    auto a = std::make_unique<CPortClient>(kIndex, 57600, 8, 'n', 1, 1);
    auto b = std::make_unique<CPortClient>(kIndex, 38400, 8, 'n', 1, 1);
    ASSERT_TRUE(a->IsAttached() && b->IsAttached());
    auto other = CreatePlatformSerialDevice();
    EXPECT_FALSE(other->Open(kIndex));
    EXPECT_EQ(other->OpenFailure().kind, CPortOpenFailure::kBusy);
    EXPECT_EQ(other->OpenFailure().reason, "already open in this program");

    // The rate as the line shows it; the joining client's is ignored.
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd.Get(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B57600));
    ASSERT_EQ(a->Configure(115200, 8, 'n', 1, 1), 0);
    ASSERT_EQ(::tcgetattr(fd.Get(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));

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

// Never deleted: the clean-up at exit must close its port.
CPortClient* g_leftOpen = nullptr;

// Closed by its last client, or still open when the program exits (the static objects' clean-up
// closes it then): the line gets back the settings the port found on it.
TEST_F(PortOnPty, ClosingPutsBackTheLineSettingsItFoundAlsoAtExit) {
    CUniqueFd fd = OpenSlave();
    MakeCooked(fd.Get());
    const std::string before = LineImage(fd.Get());
    {
        CPortClient client(kIndex, 57600, 8, 'n', 1, 1);
        ASSERT_TRUE(client.IsAttached());
        EXPECT_NE(LineImage(fd.Get()), before);
    }
    EXPECT_EQ(LineImage(fd.Get()), before);
    EXPECT_EQ(RunForkedCheck(false,
                             [] {
                                 g_leftOpen = new CPortClient(kIndex, 57600, 8, 'n', 1, 0);
                                 if (!g_leftOpen->IsAttached()) {
                                     return std::string("not attached");
                                 }
                                 std::exit(0);
                             }),
              "");
    EXPECT_EQ(LineImage(fd.Get()), before);
}

// A program that merely has the line open (as a pseudo-terminal's device program does, started
// first) is not the one named: the one holding the line's lock is.
TEST_F(PortOnPty, HeldByAnotherProgramTheFailureNamesItsProcess) {
    int release[2];
    ASSERT_EQ(::pipe(release), 0);
    const auto start = [&](bool lock) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            CUniqueFd fd = OpenSlave();
            char b = 0;
            if (fd.IsValid() && (!lock || ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0)) {
                (void)!::write(ready[1], "x", 1);
                (void)!::read(release[0], &b, 1);
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        char b = 0;
        EXPECT_EQ(::read(ready[0], &b, 1), 1);
        ::close(ready[0]);
        return child;
    };
    const pid_t bystander = start(false);
    const pid_t holder = start(true);
    ::close(release[0]);
    auto device = CreatePlatformSerialDevice();
    EXPECT_FALSE(device->Open(kIndex));
    const CPortOpenFailure f = device->OpenFailure();
    EXPECT_EQ(f.kind, CPortOpenFailure::kBusy);
    EXPECT_EQ(f.holderPid, holder) << "the bystander is " << bystander;
    EXPECT_NE(f.Text().find(pty.SlavePath() + ": in use by another program"), std::string::npos)
        << f.Text();
    EXPECT_NE(f.reason.find("PID " + std::to_string(holder)), std::string::npos) << f.reason;
    ::close(release[1]);
    ::waitpid(bystander, nullptr, 0);
    ::waitpid(holder, nullptr, 0);
}

// In a child: a new pseudo-terminal, whose slave COM5 stands for; what went wrong, or nothing.
std::string OpenAsCom5(CPseudoTerminal* pty) {
    std::string error;
    if (!pty->Open(&error)) {
        return "pseudo-terminal: " + error;
    }
    SetComDevicePath(4, pty->SlavePath());
    return std::string();
}

TEST(PtyAsAUser, NoAccessNamesTheGroupThatOwnsTheDevice) {
    EXPECT_CHILD_PASSES(true, [] {
        CPseudoTerminal pty;
        const std::string error = OpenAsCom5(&pty);
        if (!error.empty()) {
            return error;
        }
        struct stat info {};
        if (::chmod(pty.SlavePath().c_str(), 0) != 0 || ::stat(pty.SlavePath().c_str(), &info)) {
            return std::string("chmod");
        }
        group* owner = ::getgrgid(info.st_gid);
        auto device = CreatePlatformSerialDevice();
        if (device->Open(4)) {
            return std::string("opened a device without access to it");
        }
        const CPortOpenFailure f = device->OpenFailure();
        if (f.kind != CPortOpenFailure::kNoAccess || f.osError != EACCES || !owner ||
            f.group != owner->gr_name || f.fix.empty() ||
            f.Text().rfind("cannot open " + pty.SlavePath() + ": Permission denied; ", 0) != 0) {
            return f.Text();
        }
        return std::string();
    });
}

// The terminal the program runs in is no serial line: frames would land on the screen.
TEST(PtyOwnTerminal, IsRefusedByItsOwnName) {
    EXPECT_CHILD_PASSES(false, [] {
        CPseudoTerminal pty;
        const std::string error = OpenAsCom5(&pty);
        if (!error.empty() || ::setsid() < 0) {
            return "set-up: " + error;
        }
        // The pseudo-terminal's end at the close would hang up the session it now leads.
        ::signal(SIGHUP, SIG_IGN);
        // Opened without O_NOCTTY by a session leader, it becomes the controlling terminal.
        CUniqueFd terminal(::open(pty.SlavePath().c_str(), O_RDWR));
        if (::tcgetsid(terminal.Get()) != ::getsid(0)) {
            return std::string("the pseudo-terminal did not become the controlling terminal");
        }
        // /dev/tty is refused by its name (serial_device_posix_test.cpp); this is found out.
        auto device = CreatePlatformSerialDevice();
        if (device->Open(4) || device->OpenFailure().kind != CPortOpenFailure::kOwnTerminal ||
            device->OpenFailure().Text().find(pty.SlavePath()) == std::string::npos) {
            return device->OpenFailure().Text();
        }
        return std::string();
    });
}

} // namespace
