#pragma once
// The terminal tovik-cli runs in: interrupts and whether a stream is a terminal. One source file
// per platform (console_posix.cpp, console_win32.cpp).

#include <cstdio>

// From now on Ctrl-C (and SIGTERM on POSIX, Ctrl-Break on Windows) asks the run to stop: each is
// counted for InterruptCount(). A second one prints againText (kept by the caller for the life of
// the process) and ends the process at once with againExitCode, since the command in flight may be
// an erase of up to 30 s. With a negative againExitCode every interrupt is only counted: a parent
// that passes each one on to its children and waits for them.
void InstallInterruptHandlers(const char* againText, int againExitCode);
int InterruptCount();

// True when the stream writes to a terminal (a console on Windows), where progress is redrawn in
// place.
bool IsTerminal(std::FILE* stream);
