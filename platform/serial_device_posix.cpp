// The serial device on POSIX systems: a tty opened exclusively and driven through termios.
//
// Exclusive use takes two locks: TIOCEXCL keeps other (non-root) processes from opening the tty,
// and flock() keeps out everybody who asks politely, root and a second open in this process
// included. TIOCEXCL belongs to the tty, not to our descriptor, so it is cleared again before the
// close: a pseudo-terminal whose master lives on would otherwise stay closed to its own user.
// Reads never wait (VMIN = VTIME = 0 on a non-blocking descriptor); the port layer polls.
//
// Only ttys with line settings are opened, and never the terminal this program runs in: frames
// written there land on the user's screen and leave it raw. Whatever the port changed (termios,
// DTR and RTS, the driver's low-latency flag) is put back when it closes.

#include "platform/serial_device_posix.h"

#include "platform/com_map.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_device.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Whether the tty open on fd is the one this program talks to its user through: its controlling
// terminal, or the terminal of its standard input, output or error.
bool IsOwnTerminal(int fd, const struct stat& device) {
    pid_t session = ::tcgetsid(fd);
    if (session != -1 && session == ::getsid(0)) {
        return true;
    }
    for (int standard = 0; standard <= 2; ++standard) {
        struct stat info {};
        if (::isatty(standard) && ::fstat(standard, &info) == 0 && S_ISCHR(info.st_mode) &&
            info.st_rdev == device.st_rdev) {
            return true;
        }
    }
    return false;
}

// Whether path is the pseudo-terminal multiplexer (/dev/ptmx, /dev/pts/ptmx, or a link to
// either): every open of it makes a new pseudo-terminal whose master nobody else holds, so frames
// written there go nowhere and the search would never end. Asked before the open, which would
// make that pseudo-terminal, and which a user may be refused for /dev/pts/ptmx (mode 000).
bool IsPseudoTerminalMultiplexer(const std::string& path) {
    constexpr unsigned kTtyAuxMajor = 5;
    constexpr unsigned kPtmxMinor = 2;
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode) &&
           major(info.st_rdev) == kTtyAuxMajor && minor(info.st_rdev) == kPtmxMinor;
}

class CPosixSerialDevice : public CSerialDevice {
public:
    ~CPosixSerialDevice() override { Close(); }

    using CSerialDevice::Open;

    bool Open(const std::string& path) override {
        Close();
        m_failure = CPortOpenFailure{};
        m_lost = false;
        if (path == "/dev/tty") {
            return Refuse(path, CPortOpenFailure::kOwnTerminal, 0,
                          "it stands for the terminal this program runs in");
        }
        if (IsPseudoTerminalMultiplexer(path)) {
            return Refuse(path, CPortOpenFailure::kNotSerial, 0,
                          "the pseudo-terminal multiplexer, not a serial device");
        }
        CUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.IsValid()) {
            m_failure = ExplainOpenError(path, errno);
            return false;
        }
        struct stat info {};
        if (::fstat(fd.Get(), &info) != 0) {
            return Refuse(path, CPortOpenFailure::kOther, errno, std::strerror(errno));
        }
        if (!S_ISCHR(info.st_mode)) {
            const char* what = S_ISREG(info.st_mode)    ? "a regular file"
                               : S_ISFIFO(info.st_mode) ? "a FIFO"
                               : S_ISSOCK(info.st_mode) ? "a socket"
                                                        : "not a character device";
            return Refuse(path, CPortOpenFailure::kNotSerial, 0,
                          std::string(what) + ", not a serial device");
        }
        termios original{};
        if (::tcgetattr(fd.Get(), &original) != 0) {
            const int error = errno;
            return Refuse(path, CPortOpenFailure::kNotSerial, error,
                          std::string("not a serial device (it has no line settings: ") +
                              std::strerror(error) + ")");
        }
        if (IsOwnTerminal(fd.Get(), info)) {
            return Refuse(path, CPortOpenFailure::kOwnTerminal, 0,
                          "it is the terminal this program runs in");
        }
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            // Closed first, so that the search for the holder does not find this descriptor.
            fd.Reset();
            m_failure = ExplainOpenError(path, error == EWOULDBLOCK ? EBUSY : error);
            return false;
        }
        // Not every tty supports it; the flock above is what really keeps others out.
        ::ioctl(fd.Get(), TIOCEXCL);
        m_original = original;
        m_haveModemBits = ::ioctl(fd.Get(), TIOCMGET, &m_originalModemBits) == 0;
        m_fd = std::move(fd);
        m_path = path;
        m_haveLevels = false;
        m_lowLatencyAdded = false;
        return true;
    }

    CPortOpenFailure OpenFailure() const override { return m_failure; }

    void SetupQueues(int, int) override {
        // The kernel sizes tty buffers itself (4 KiB and more); there is nothing to ask for.
    }

    bool RequestLowLatency() override {
        serial_struct serial{};
        if (!m_fd.IsValid() || ::ioctl(m_fd.Get(), TIOCGSERIAL, &serial) != 0) {
            return false;
        }
        if (serial.flags & ASYNC_LOW_LATENCY) {
            return true;
        }
        serial.flags |= ASYNC_LOW_LATENCY;
        if (::ioctl(m_fd.Get(), TIOCSSERIAL, &serial) != 0) {
            return false;
        }
        m_lowLatencyAdded = true;
        return true;
    }

    void RestoreLowLatency() override {
        if (!m_lowLatencyAdded) {
            return;
        }
        m_lowLatencyAdded = false;
        serial_struct serial{};
        if (::ioctl(m_fd.Get(), TIOCGSERIAL, &serial) == 0) {
            serial.flags &= ~ASYNC_LOW_LATENCY;
            ::ioctl(m_fd.Get(), TIOCSSERIAL, &serial);
        }
    }

    std::string LatencyAdvice() override {
        return m_fd.IsValid() ? LatencyTimerAdvice(m_path, "/sys/class/tty") : std::string();
    }

    void Purge() override {
        if (m_fd.IsValid()) {
            ::tcflush(m_fd.Get(), TCIOFLUSH);
        }
    }

    bool GetSettings(CLineSettings& settings) override {
        termios tio{};
        if (!m_fd.IsValid() || ::tcgetattr(m_fd.Get(), &tio) != 0) {
            return Fail("tcgetattr", errno);
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
            return Fail("tcsetattr", EBADF);
        }
        termios tio{};
        if (::tcgetattr(m_fd.Get(), &tio) != 0) {
            return Fail("tcgetattr", errno);
        }
        termios wanted = tio;
        if (!ToTermios(settings, wanted)) {
            m_badBaud = settings.baudRate;
            return Fail("baud rate", EINVAL);
        }
        if (std::memcmp(&wanted, &tio, sizeof tio) != 0 &&
            ::tcsetattr(m_fd.Get(), TCSANOW, &wanted) != 0) {
            return Fail("tcsetattr", errno);
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
        if (m_lost) {
            return kIoLost;
        }
        // With VMIN = VTIME = 0 a read of a quiet line and of a hung-up one both return 0; poll
        // tells them apart, and costs no more than the read it saves when nothing is there.
        pollfd pfd{m_fd.Get(), POLLIN, 0};
        if (::poll(&pfd, 1, 0) < 0) {
            if (errno == EINTR) {
                return kIoNothing;
            }
            Fail("poll", errno);
            return kIoFailed;
        }
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return Lost("read", 0);
        }
        if (!(pfd.revents & POLLIN)) {
            return kIoNothing;
        }
        ssize_t n = ::read(m_fd.Get(), &byte, 1);
        if (n == 1) {
            return kIoDone;
        }
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return kIoNothing;
        }
        if (IsDeviceGoneErrno(errno)) {
            return Lost("read", errno);
        }
        Fail("read", errno);
        return kIoFailed;
    }

    int Write(unsigned char byte, int waitMs) override {
        if (m_lost) {
            return kIoLost;
        }
        // One limit for the whole wait, however often the queue makes a little room and fills up
        // again before this byte fits.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            ssize_t n = ::write(m_fd.Get(), &byte, 1);
            if (n == 1) {
                return kIoDone;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && IsDeviceGoneErrno(errno)) {
                return Lost("write", errno);
            }
            if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
                // The driver's output queue is full: wait for the line to drain it, as a write on
                // a port without a write time-out would, but not for ever on a line that is stuck.
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    end - std::chrono::steady_clock::now());
                if (left.count() <= 0) {
                    m_what = "write: no room in the output queue in time";
                    m_errno = 0;
                    return kIoNothing;
                }
                pollfd pfd{m_fd.Get(), POLLOUT, 0};
                int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
                if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                    return Lost("write", 0);
                }
                if (ready < 0 && errno != EINTR) {
                    Fail("poll", errno);
                    return kIoFailed;
                }
                continue;
            }
            Fail("write", errno);
            return kIoFailed;
        }
    }

    void Close() override {
        if (!m_fd.IsValid()) {
            return;
        }
        // What the port changed goes back. On a device that is gone these calls fail, harmlessly.
        RestoreLowLatency();
        ::ioctl(m_fd.Get(), TIOCNXCL);
        if (m_haveModemBits) {
            int dtr = TIOCM_DTR;
            int rts = TIOCM_RTS;
            ::ioctl(m_fd.Get(), (m_originalModemBits & TIOCM_DTR) ? TIOCMBIS : TIOCMBIC, &dtr);
            ::ioctl(m_fd.Get(), (m_originalModemBits & TIOCM_RTS) ? TIOCMBIS : TIOCMBIC, &rts);
        }
        ::tcsetattr(m_fd.Get(), TCSANOW, &m_original);
        m_fd.Reset();
        m_haveModemBits = false;
    }

    std::string LastErrorText() const override {
        if (m_failure.kind != CPortOpenFailure::kNone) {
            return m_failure.Text();
        }
        std::string text = m_what;
        if (m_badBaud != 0 && text == "baud rate") {
            text += " " + std::to_string(m_badBaud);
        }
        if (m_errno != 0) {
            text += std::string(": ") + std::strerror(m_errno);
        } else if (m_lost) {
            text += ": the device hung up";
        }
        return text;
    }

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

    // Keeps only the code and the name of the call; the text is made when it is asked for.
    bool Fail(const char* what, int error) {
        m_what = what;
        m_errno = error;
        return false;
    }

    int Lost(const char* what, int error) {
        m_lost = true;
        Fail(what, error);
        return kIoLost;
    }

    bool Refuse(const std::string& path, CPortOpenFailure::Kind kind, int error,
                const std::string& reason) {
        m_failure = CPortOpenFailure{};
        m_failure.kind = kind;
        m_failure.path = path;
        m_failure.osError = error;
        m_failure.reason = reason;
        if (kind == CPortOpenFailure::kNotSerial || kind == CPortOpenFailure::kOwnTerminal) {
            m_failure.fix = "give the device of the serial line (--list-ports lists them)";
        }
        return false;
    }

    CUniqueFd m_fd;
    std::string m_path;
    CPortOpenFailure m_failure;
    termios m_original{};
    bool m_haveModemBits = false;
    int m_originalModemBits = 0;
    bool m_lowLatencyAdded = false;
    bool m_lost = false;
    const char* m_what = "";
    int m_errno = 0;
    int m_badBaud = 0;
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

bool IsDeviceGoneErrno(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}
