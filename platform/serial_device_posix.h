#pragma once
// What the POSIX serial device exposes beyond the common interface, for its tests.

#include "platform/serial_device.h"

#include <termios.h>

// Fills tio with the raw, flow-control-free image of the settings; false for an unknown rate.
bool LineSettingsToTermios(const CLineSettings& settings, termios& tio);
