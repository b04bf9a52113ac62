#pragma once
// A pseudo-terminal pair for the virtual device and the tests: the master end is the device's
// side of the wire, the slave path is what the host opens as its serial port.

#include "platform/unique_fd.h"

#include <string>

class CPseudoTerminal {
public:
    // Opens a new pair with the slave in raw mode (no echo, no line editing) so that nothing the
    // device sends comes back to it before the host has configured the line. Also keeps one slave
    // descriptor open, so the master never sees a hang-up when the host closes and reopens the
    // port.
    bool Open(std::string* error = nullptr);

    int MasterFd() const { return m_master.Get(); }
    // Ends the device's side: the host's end is hung up, as when a USB adapter is pulled out.
    void CloseMaster() { m_master.Reset(); }
    const std::string& SlavePath() const { return m_slavePath; }

    // The output speed the host last set on the line (the master sees the slave's settings), 0
    // when it cannot be read.
    int LineBaudRate() const;

private:
    CUniqueFd m_master;
    CUniqueFd m_slaveKeeper;
    std::string m_slavePath;
};

// Maps a termios speed constant to bits per second, and back; 0 / false for rates it does not know.
int SpeedToBaud(unsigned speed);
bool BaudToSpeed(int baud, unsigned& speed);
