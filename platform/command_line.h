#pragma once
// The process's command line as one text, the way options such as HANDSHAKE are looked up in it.

#include <string>

// The whole command line, program name first, arguments joined by single blanks. Front ends set
// it from main(); when nobody has, it is read from the operating system where that is possible.
std::string GetProcessCommandLine();
void SetProcessCommandLine(const std::string& commandLine);
void SetProcessCommandLine(int argc, const char* const* argv);
