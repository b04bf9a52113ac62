// The serial device on POSIX systems: a tty opened exclusively and driven through termios.
//
// Exclusive use takes two locks: TIOCEXCL keeps other (non-root) processes from opening the tty,
// and flock() keeps out everybody who asks politely, root and a second open in this process
// included. Reads never wait (VMIN = VTIME = 0 on a non-blocking descriptor); the port layer polls.

#include "platform/com_map.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_device.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How long a write waits for room in an output queue that does not drain before giving the byte up.
constexpr int kStuckLineMs = 2000;

class CPosixSerialDevice : public CSerialDevice {
public:
    bool Open(int comIndex) override {
        Close();
        std::string path = ComDevicePath(comIndex);
        CUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.IsValid()) {
            return Fail(path);
        }
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            return Fail(path + " is in use");
        }
        // Not every tty supports it; the flock above is what really keeps others out.
        ::ioctl(fd.Get(), TIOCEXCL);
        m_fd = std::move(fd);
        m_haveLevels = false;
        return true;
    }

    void SetupQueues(int, int) override {
        // The kernel sizes tty buffers itself (4 KiB and more); there is nothing to ask for.
    }

    void Purge() override {
        if (m_fd.IsValid()) {
            ::tcflush(m_fd.Get(), TCIOFLUSH);
        }
    }

    bool GetSettings(CLineSettings& settings) override {
        termios tio{};
        if (!m_fd.IsValid() || ::tcgetattr(m_fd.Get(), &tio) != 0) {
            return Fail("tcgetattr");
        }
        settings.baudRate = SpeedToBaud(::cfgetospeed(&tio));
        switch (tio.c_cflag & CSIZE) {
        case CS5:
            settings.dataBits = 5;
            break;
        case CS6:
            settings.dataBits = 6;
            break;
        case CS7:
            settings.dataBits = 7;
            break;
        default:
            settings.dataBits = 8;
            break;
        }
        if (!(tio.c_cflag & PARENB)) {
            settings.parity = CLineSettings::kNone;
        } else {
            settings.parity = (tio.c_cflag & PARODD) ? CLineSettings::kOdd : CLineSettings::kEven;
        }
        settings.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
        ReadLevels(settings);
        return true;
    }

    bool SetSettings(const CLineSettings& settings) override {
        if (!m_fd.IsValid()) {
            errno = EBADF;
            return Fail("tcsetattr");
        }
        termios tio{};
        if (::tcgetattr(m_fd.Get(), &tio) != 0) {
            return Fail("tcgetattr");
        }
        termios wanted = tio;
        if (!ToTermios(settings, wanted)) {
            errno = EINVAL;
            return Fail("baud rate " + std::to_string(settings.baudRate));
        }
        if (std::memcmp(&wanted, &tio, sizeof tio) != 0 &&
            ::tcsetattr(m_fd.Get(), TCSANOW, &wanted) != 0) {
            return Fail("tcsetattr");
        }
        WriteLevels(settings);
        return true;
    }

    void SetImmediateReads() override {
        termios tio{};
        if (m_fd.IsValid() && ::tcgetattr(m_fd.Get(), &tio) == 0) {
            tio.c_cc[VMIN] = 0;
            tio.c_cc[VTIME] = 0;
            ::tcsetattr(m_fd.Get(), TCSANOW, &tio);
        }
    }

    int ReadByte(unsigned char& byte) override {
        ssize_t n = ::read(m_fd.Get(), &byte, 1);
        if (n == 1) {
            return 1;
        }
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return 0;
        }
        Fail("read");
        return -1;
    }

    bool WriteByte(unsigned char byte) override {
        for (;;) {
            ssize_t n = ::write(m_fd.Get(), &byte, 1);
            if (n == 1) {
                return true;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // The driver's output queue is full: wait for the line to drain it, as a write on
                // a port without a write time-out would, but not for ever on a line that is stuck.
                pollfd pfd{m_fd.Get(), POLLOUT, 0};
                if (::poll(&pfd, 1, kStuckLineMs) > 0) {
                    continue;
                }
                errno = ETIMEDOUT;
            }
            return Fail("write");
        }
    }

    void Close() override { m_fd.Reset(); }

    std::string LastErrorText() const override { return m_lastError; }

    // The termios image of the settings, with everything that is not asked for switched off:
    // raw 8-bit bytes, no echo, no translation, no hardware or software flow control.
    static bool ToTermios(const CLineSettings& s, termios& tio) {
        speed_t speed = 0;
        if (!BaudToSpeed(s.baudRate, speed)) {
            return false;
        }
        ::cfmakeraw(&tio);
        tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
        tio.c_iflag |= IGNBRK;
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        tio.c_cflag |= CLOCAL | CREAD;
        switch (s.dataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
        }
        if (s.parity != CLineSettings::kNone) {
            tio.c_cflag |= PARENB;
            if (s.parity == CLineSettings::kOdd) {
                tio.c_cflag |= PARODD;
            }
        }
        if (s.stopBits == 2) {
            tio.c_cflag |= CSTOPB;
        }
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        return true;
    }

private:
    // Modem lines: a tty without them (a pseudo-terminal) refuses the ioctls; the levels asked for
    // are remembered so that a read-modify-write of the settings keeps them, as on Windows.
    void ReadLevels(CLineSettings& settings) {
        int bits = 0;
        if (::ioctl(m_fd.Get(), TIOCMGET, &bits) == 0) {
            settings.dtr = (bits & TIOCM_DTR) != 0;
            settings.rts = (bits & TIOCM_RTS) != 0;
        } else if (m_haveLevels) {
            settings.dtr = m_dtr;
            settings.rts = m_rts;
        } else {
            settings.dtr = settings.rts = false;
        }
    }

    void WriteLevels(const CLineSettings& settings) {
        if (m_haveLevels && settings.dtr == m_dtr && settings.rts == m_rts) {
            return;
        }
        int dtr = TIOCM_DTR;
        int rts = TIOCM_RTS;
        ::ioctl(m_fd.Get(), settings.dtr ? TIOCMBIS : TIOCMBIC, &dtr);
        ::ioctl(m_fd.Get(), settings.rts ? TIOCMBIS : TIOCMBIC, &rts);
        m_dtr = settings.dtr;
        m_rts = settings.rts;
        m_haveLevels = true;
    }

    bool Fail(const std::string& what) {
        m_lastError = what + ": " + std::strerror(errno);
        return false;
    }

    CUniqueFd m_fd;
    std::string m_lastError;
    bool m_haveLevels = false;
    bool m_dtr = false;
    bool m_rts = false;
};

} // namespace

std::unique_ptr<CSerialDevice> CreatePlatformSerialDevice() {
    return std::make_unique<CPosixSerialDevice>();
}

std::string DefaultComDevicePath(int comIndex) {
    return "/dev/ttyS" + std::to_string(comIndex);
}

bool LineSettingsToTermios(const CLineSettings& settings, termios& tio) {
    return CPosixSerialDevice::ToTermios(settings, tio);
}
