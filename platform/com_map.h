#pragma once
// Which operating-system device a COM index (0 for COM1) stands for.
//
// Windows names the device after the number ("\\.\COM<index + 1>"). On POSIX index n is
// /dev/ttyS<n> unless the profile's Ports section installed another path. (A front end that names
// a device itself gives it to the port layer through its port policy, not through this table.)

#include <string>

std::string ComDevicePath(int comIndex);
// Installs a path for this index; an empty path restores the default.
void SetComDevicePath(int comIndex, const std::string& path);
// Forgets every installed path.
void ClearComDevicePaths();

// The platform's own name for the index (each serial device file gives its own).
std::string DefaultComDevicePath(int comIndex);

// A port given as COM1, com12, ... (up to COM256): its index (0 for COM1); -1 when it is not of
// that form.
int ComIndexOfName(const std::string& name);
