#pragma once
// The terminal a program runs in: interrupts, the standard streams and whether a stream is a
// terminal. One source file per platform (console_posix.cpp, console_win32.cpp).

#include <cstdio>

// From now on Ctrl-C (and SIGTERM and SIGHUP on POSIX, Ctrl-Break on Windows) asks the run to
// stop: each is counted for InterruptCount(). A hang-up is one too: a load left running after its
// terminal went away would be nobody's to stop. A second one prints againText (kept by the caller
// for the life of the process) and ends the process at once with againExitCode, since the command
// in flight may be an erase of up to 30 s. With a negative againExitCode every interrupt is only
// counted: a parent that passes each one on to its children and waits for them.
void InstallInterruptHandlers(const char* againText, int againExitCode);
int InterruptCount();

// While held on this thread, interrupts wait (POSIX: SIGINT, SIGTERM and SIGHUP blocked, taken
// once released), so that what belongs together (a load's record and its result line) is not cut
// in two by a second interrupt, which ends the process at once. Holds nest. Nothing on Windows,
// where the console's handler runs on a thread of its own.
class CInterruptsHeld {
public:
    CInterruptsHeld();
    ~CInterruptsHeld();
    CInterruptsHeld(const CInterruptsHeld&) = delete;
    CInterruptsHeld& operator=(const CInterruptsHeld&) = delete;
};
// The second interrupt calls action (when not null) after againText and just before the process
// ends: the record of the load it cuts short (platform/durable_log.h). On POSIX it runs in a signal
// handler, so it may only make the calls a signal handler may.
void SetInterruptedAgainAction(void (*action)());

// Writes to a pipe or socket nobody reads any more fail (and are ignored by the caller) instead
// of ending the process: a load must not depend on who reads its output. So do writes beyond the
// file-size limit (ulimit -f), which the log reports. Nothing to do on Windows, where such a write
// just fails.
void IgnoreBrokenPipes();

// Opens the null device on each of the standard descriptors 0 to 2 that is closed, so that a file
// or port opened later cannot become one of them and receive what is meant for the screen. Call it
// first, before anything is opened. Nothing to do on Windows, where a handle never takes a standard
// stream's place.
void OpenNullOnClosedStandardStreams();

// True when the stream writes to a terminal (a console on Windows), where progress is redrawn in
// place.
bool IsTerminal(std::FILE* stream);
