#pragma once
// tovik-cli's exit codes, for scripts and production lines.

constexpr int kExitStarted = 0;       // transferred and the start confirmed
constexpr int kExitNotStarted = 1;    // transferred, the start not confirmed
constexpr int kExitUsage = 2;         // the command line is wrong
constexpr int kExitBadFile = 3;       // file missing or not a valid S-record file
constexpr int kExitPortFailed = 4;    // the port cannot be opened
constexpr int kExitNoDevice = 5;      // no device answered within --timeout
constexpr int kExitWriteRefused = 6;  // the device refused a write (or did not answer one)
constexpr int kExitSomeFailed = 8;    // several ports: at least one load did not end with 0
constexpr int kExitLogFailed = 9;     // --log: the log cannot be opened, or a record written
constexpr int kExitInterrupted = 130; // Ctrl-C or SIGTERM ended the run

// What a second interrupt prints before it ends the process with kExitInterrupted.
inline constexpr char kInterruptedAgainText[] =
    "\ntovik-cli: interrupted again; the device may be left erased or partly programmed\n";
