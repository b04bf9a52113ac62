#pragma once
// Whether a port's device is there yet: a USB adapter's port appears a moment after the board
// that carries it is powered, and udev sets its permissions a moment after that. One source file
// per platform (device_path_posix.cpp, device_path_win32.cpp).

#include <string>

// True when the device path names something that exists (a link is followed: a /dev/serial/by-id
// link whose device has gone does not count). On Windows, \\.\COMn exists when the system knows
// the name COMn.
bool DevicePathExists(const std::string& path);

// True when this user may open the device for reading and writing. Where the system cannot tell
// without opening it, the same as DevicePathExists.
bool DevicePathAccessible(const std::string& path);
