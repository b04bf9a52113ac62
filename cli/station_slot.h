#pragma once
// One slot of a production station: board after board on one port, in a process of its own (the
// port layer serves one line per process), started by the station with --json. For each board
// the slot waits for its port, searches without limit, loads it, tells its result, and then
// watches until the board is taken out (the port goes, or five probes in a row go unanswered)
// before it searches for the next: a board is never loaded twice without being taken out.
//
// The slots share one count of passed boards (CSharedCounts): before a board's first erase a slot
// looks whether the count (--count) is reached or the station is closing, and begins no board
// then. A slot that is waiting or searching when the station ends has no board and tells nothing
// of it.

#include <string>

struct CliOptions;

// Returns kExitLogFailed when a record could not be written, kExitInterrupted when an interrupt
// cut a load short, kExitSomeFailed when a board failed, 0 otherwise (and the file's exit codes
// before any board: a bad copy, no port).
int RunStationSlot(const CliOptions& options, const std::string& comMapProblem);
