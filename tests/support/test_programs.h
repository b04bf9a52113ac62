#pragma once
// Where the tests find the programs they run. The build's own paths, unless TOVIK_PROGRAMS names
// a folder holding copies: the unprivileged run copies the programs to a place another user may
// reach, since the build tree may sit in a home folder that user cannot enter.

#include <string>

// The program built at builtPath, or its namesake in $TOVIK_PROGRAMS.
std::string TestProgram(const std::string& builtPath);
