#pragma once
// Whether a port's device is there yet (a USB adapter's port appears a moment after the board
// that carries it is powered, and udev sets its permissions a moment after that), and whether two
// names lead to one device. One source file per platform (device_path_posix.cpp,
// device_path_win32.cpp).

#include <string>

// True when the device path names something that exists (a link is followed: a /dev/serial/by-id
// link whose device has gone does not count). On Windows, \\.\COMn exists when the system knows
// the name COMn.
bool DevicePathExists(const std::string& path);

// True when this user may open the device for reading and writing. Where the system cannot tell
// without opening it, the same as DevicePathExists.
bool DevicePathAccessible(const std::string& path);

// True when both paths lead to one device: a link and its target, or two device files with the
// same device number. A path that does not exist yet can be compared by its name alone. On
// Windows the names are compared, without case and without the \\.\ in front.
bool SameDevice(const std::string& a, const std::string& b);

// The device a path leads to, every link followed (/dev/serial/by-id/usb-... gives /dev/ttyUSB0);
// empty when it does not exist. On Windows the path itself.
std::string ResolvedDevicePath(const std::string& path);
