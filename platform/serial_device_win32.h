#pragma once
// What the Windows serial device exposes beyond the common interface, for its tests.

#include "platform/serial_device.h"

#include <windows.h>

#include <string>

// Writes the settings into a DCB read from the driver: rate and character format, DTR and RTS
// held at the levels asked for, every kind of flow control and character processing off. The
// fields the port layer has no say in (fDummy2, wReserved1) keep what the driver reported.
void LineSettingsToDcb(const CLineSettings& settings, DCB& dcb);
// Reads the settings back out of a DCB; mark and space parity count as none, 1.5 stop bits as 1.
void DcbToLineSettings(const DCB& dcb, CLineSettings& settings);

// The system's text for an error code, without the line break Windows ends it with.
std::string SystemErrorText(DWORD error);

// Whether an error from ReadFile or WriteFile says the device is gone: what a removed USB adapter
// leaves its handle giving.
bool IsDeviceGoneError(DWORD error);

// What a failed CreateFileA on path means for the user, with a fix where one is known.
CPortOpenFailure ExplainOpenError(const std::string& path, DWORD error);
