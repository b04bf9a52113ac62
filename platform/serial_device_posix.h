#pragma once
// What the POSIX serial device exposes beyond the common interface, for its tests.

#include "platform/serial_device.h"

#include <string>
#include <termios.h>

// Fills tio with the raw, flow-control-free image of the settings; false for an unknown rate.
bool LineSettingsToTermios(const CLineSettings& settings, termios& tio);

// Whether errno from a read or write on a tty says the device is gone for good.
bool IsDeviceGoneErrno(int error);

// What an open of path that failed with errno error means for the user, with a fix where one is
// known: the group that owns the device, the process that holds it (from /proc, best effort).
CPortOpenFailure ExplainOpenError(const std::string& path, int error);

// The process (other than this one, unless only this one has it) with a descriptor open on the
// device at path; 0 when none is visible. Reads /proc, so it sees only what this user may see.
int FindDeviceHolder(const std::string& path);

// How to lower the latency timer of the USB adapter behind devicePath when the driver shows one
// above 1 ms under sysClassTty (normally /sys/class/tty); empty otherwise.
std::string LatencyTimerAdvice(const std::string& devicePath, const std::string& sysClassTty);
