#pragma once
// What the parent of several loads says of a port whose child ended without telling its result
// (a second Ctrl-C ends a child at once; a child may be killed): how far that load had come and
// what it left on the device, from the last events the child sent. The device may hold a little
// more than those figures, never less.

#include "cli/port_board.h"

#include <string>

// exitCode: the child's. interruptedAgain: the parent passed on a second interrupt, which ends a
// child at once with kExitInterrupted.
std::string MissingResultMessage(const PortState& state, int exitCode, bool interruptedAgain);
