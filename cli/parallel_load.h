#pragma once
// tovik-cli with several --port options: the same file into every port at once.
//
// The link lock and the port registry are process-wide and a transaction holds the lock for its
// whole wait, so one process cannot serve two lines at once. The parent runs itself once per port
// (with --json and the same options, one --port each), reads each child's events from a pipe,
// draws one line per port, passes Ctrl-C on to every child (each stops as Stop does) and ends
// with a summary of each port's own exit code and message. A child that ends without its result
// (a second Ctrl-C, a kill) is given one from the figures of its last events.

#include <string>

struct CliOptions;

// program: this program, started once per port with the options for one port. Returns 0 when
// every load ended with 0, kExitLogFailed when a record of a load could not be written (or the log
// not opened, before any child started), kExitInterrupted when a Ctrl-C (or SIGTERM) stopped some
// of them, kExitSomeFailed otherwise. The children append their own records; the parent appends
// the record of a child that ended without its result.
int RunParallelLoads(const CliOptions& options, const std::string& program);
