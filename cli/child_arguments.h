#pragma once
// The command line of one child of a load into several ports: the parent's own arguments, so that
// every option reaches every child as given, with its --port options replaced by the child's one
// port, and --json (the parent reads the events) and --quiet (the parent draws the progress); and
// the file the parent read and checked, so that every child loads those very bytes (a pipe or a
// FIFO can be read only once, and a file may change while the loads go on).

#include <string>
#include <vector>

// args: the parent's arguments without the program name. Every form of the port option is taken
// out: "--port X", "--port=X", "-p X", "-pX", and a 'p' within a group of short flags ("-qp X").
// checkedCopy: the path of the parent's copy, or empty to let the child read FILE itself.
std::vector<std::string> ArgumentsForOnePort(const std::vector<std::string>& args,
                                             const std::string& port,
                                             const std::string& checkedCopy = std::string());
