#pragma once
// tovik-cli --wait-port: a board powered or reset together with its own USB bridge makes its port
// appear a moment later, and udev gives it its permissions a moment after that.

#include <string>

class RunEventSink;

// When the device at path does not exist, waits up to `seconds` for it to appear, telling a
// person (unless quiet) and the events that it waits; once it is there, waits a little longer
// (within the same time) until this user may open it. Ctrl-C ends the wait. Returns -1 when the
// load can go on (a port that stays closed to this user goes on too: the open says why), otherwise
// the exit code: kExitPortFailed when it never came, kExitInterrupted. The interrupt handlers must
// be installed.
int WaitForPort(const std::string& path, double seconds, bool quiet, RunEventSink& events);
