#pragma once
// tovik-cli's command line.

#include <string>

struct CliOptions {
    std::string file;
    std::string port;  // COMn or a device path; empty: COM1
    int baudIndex = 1; // 0 auto, 1 38400, 2 57600, 3 115200
    bool simulate = false;
    bool dryRun = false;
    double timeoutSeconds = 0; // 0: search until stopped
    int handshake = -1;        // -1: option not given
    bool trace = false;
    bool quiet = false;
    bool listPorts = false;
};

struct CliParse {
    bool run = false; // false: exit at once with exitCode (help, version, usage error)
    int exitCode = 0;
    CliOptions options;
};

CliParse ParseCliOptions(int argc, const char* const* argv);
