#pragma once
// tovik-cli's command line.

#include <string>
#include <vector>

struct CliOptions {
    std::string file;
    std::string port;               // COMn or a device path; empty: COM1. The first of ports.
    std::vector<std::string> ports; // every --port, in order: two or more load in parallel
    int baudIndex = 1;              // 0 auto, 1 38400, 2 57600, 3 115200
    bool simulate = false;
    bool dryRun = false;
    double timeoutSeconds = 0; // 0: search until stopped
    int handshake = -1;        // -1: option not given
    bool trace = false;
    bool quiet = false;
    bool listPorts = false;
    bool json = false;          // JSON lines on stdout
    double waitPortSeconds = 0; // 0: a missing port fails at once
    // Given by a load into several ports to each of its children: the file as the parent read
    // and checked it, to be loaded in place of FILE (which still names it in messages).
    std::string checkedCopy;
};

struct CliParse {
    bool run = false; // false: exit at once with exitCode (help, version, usage error)
    int exitCode = 0;
    CliOptions options;
};

CliParse ParseCliOptions(int argc, const char* const* argv);
