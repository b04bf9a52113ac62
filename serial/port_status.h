#pragma once
// What the front ends may ask about the ports of this process, by port index (0 for COM1), from
// any thread. None of these waits for the link lock, which a transaction holds for its whole wait.

#include "platform/serial_device.h"

#include <string>
#include <vector>

// True while the port of this index is lost: the system said its device went away and it has not
// been opened since. osReason (may be null) receives the system's account, taken when it happened
// ("read: Input/output error", "read: the device hung up").
bool PortLost(int portIndex, std::string* osReason);

// Why the last attempt to open the port of this index failed; false when it succeeded or none was
// made. Every failed attempt (each Retry too) replaces the record; a successful open clears it.
bool LastPortOpenFailure(int portIndex, CPortOpenFailure* failure);

// Notices for a person about the ports opened so far (how to lower a USB adapter's latency timer),
// each handed out once in the life of the process, oldest first.
std::vector<std::string> TakePortNotices();

// Kept by the port layer.
void RecordPortOpened(int portIndex);
void RecordPortOpenFailure(int portIndex, const CPortOpenFailure& failure);
void RecordPortLost(int portIndex, const std::string& reason);
void PostPortNotice(const std::string& text);
