#include "platform/pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>

namespace {

struct SpeedEntry {
    int baud;
    speed_t speed;
};

const SpeedEntry kSpeeds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {500000, B500000}, {921600, B921600}, {1000000, B1000000},
};

bool Fail(std::string* error, const char* what) {
    if (error) {
        *error = std::string(what) + ": " + std::strerror(errno);
    }
    return false;
}

} // namespace

int SpeedToBaud(unsigned speed) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.speed == speed) {
            return e.baud;
        }
    }
    return 0;
}

bool BaudToSpeed(int baud, unsigned& speed) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

bool CPseudoTerminal::Open(std::string* error) {
    CUniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!master.IsValid()) {
        return Fail(error, "posix_openpt");
    }
    if (::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0) {
        return Fail(error, "unlockpt");
    }
    const char* name = ::ptsname(master.Get());
    if (!name) {
        return Fail(error, "ptsname");
    }
    std::string slavePath = name;
    CUniqueFd slave(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!slave.IsValid()) {
        return Fail(error, "open slave");
    }
    termios tio{};
    if (::tcgetattr(slave.Get(), &tio) != 0) {
        return Fail(error, "tcgetattr");
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B38400);
    ::cfsetospeed(&tio, B38400);
    if (::tcsetattr(slave.Get(), TCSANOW, &tio) != 0) {
        return Fail(error, "tcsetattr");
    }
    m_master = std::move(master);
    m_slaveKeeper = std::move(slave);
    m_slavePath = slavePath;
    return true;
}

int CPseudoTerminal::LineBaudRate() const {
    termios tio{};
    if (::tcgetattr(m_master.Get(), &tio) != 0) {
        return 0;
    }
    return SpeedToBaud(::cfgetospeed(&tio));
}
