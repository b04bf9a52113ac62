#pragma once
// The program's arguments turned into SimOptions.

#include "sim/sim_options.h"

struct SimCommandLine {
    // False when the program should end right away with exitCode: after --help, or after a usage
    // error that has already been reported.
    bool run = false;
    int exitCode = 0;
    SimOptions options;
};

SimCommandLine ParseSimCommandLine(int argc, const char* const* argv);
