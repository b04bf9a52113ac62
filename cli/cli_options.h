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

    // --station: every port is a slot, loaded board after board until Ctrl-C or --count.
    bool station = false;
    int count = 0; // --count: boards passed (over all slots) after which a station ends; 0: none
    // --log: where every load appends its one JSON record; empty: no record.
    std::string logPath;
    // --station-name: the station's name in the record; empty: the short host name.
    std::string stationName;
    // Given by a parent to each child: it starts, reads and reports on the child, and writes the
    // record of a load its child could not finish telling.
    bool child = false;
    // Given by a station to each slot: the file the slots share their passed count in.
    std::string stationTally;
};

struct CliParse {
    bool run = false; // false: exit at once with exitCode (help, version, usage error)
    int exitCode = 0;
    CliOptions options;
};

CliParse ParseCliOptions(int argc, const char* const* argv);

// The command line (less the program name) of one child of a load into several ports: the
// options written back as arguments, so that each child reads what the parent read, with the
// child's one port, --json (the parent reads the events) and --quiet (the parent draws the
// progress), and the file the parent read and checked (a pipe or a FIFO can be read only once, and
// a file may change while the loads go on). checkedCopy: empty to let the child read FILE itself.
std::vector<std::string> ChildArguments(const CliOptions& options, const std::string& port,
                                        const std::string& checkedCopy);
