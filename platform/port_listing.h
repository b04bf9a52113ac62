#pragma once
// The serial ports of this machine, for --list-ports, and the stable name of one, for the record of
// a load.

#include <string>
#include <vector>

struct SerialPortEntry {
    std::string device; // what --port takes: /dev/ttyUSB0, COM3
    // Printed beside it, when there is one: the stable /dev/serial/by-id name on Linux, the
    // system's device (\Device\Serial0) on Windows.
    std::string byIdName;
};

std::vector<SerialPortEntry> ListSerialPorts();

// The /dev/serial/by-id link (its whole path) that leads to device, a resolved device path; empty
// when udev made none (and always on Windows). folder: where the links are, for tests.
std::string SerialByIdName(const std::string& device,
                           const std::string& folder = "/dev/serial/by-id");
