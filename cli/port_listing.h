#pragma once
// The serial ports of this machine, for --list-ports.

#include <string>
#include <vector>

struct SerialPortEntry {
    std::string device;   // e.g. /dev/ttyUSB0
    std::string byIdName; // the stable /dev/serial/by-id name, when there is one
};

std::vector<SerialPortEntry> ListSerialPorts();
