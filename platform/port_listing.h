#pragma once
// The serial ports of this machine, for --list-ports.

#include <string>
#include <vector>

struct SerialPortEntry {
    std::string device; // what --port takes: /dev/ttyUSB0, COM3
    // Printed beside it, when there is one: the stable /dev/serial/by-id name on Linux, the
    // system's device (\Device\Serial0) on Windows.
    std::string byIdName;
};

std::vector<SerialPortEntry> ListSerialPorts();
