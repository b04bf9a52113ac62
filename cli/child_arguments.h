#pragma once
// The command line of one child of a load into several ports: the parent's own arguments, so that
// every option reaches every child as given, with its --port options replaced by the child's one
// port, and --json (the parent reads the events) and --quiet (the parent draws the progress).

#include <string>
#include <vector>

// args: the parent's arguments without the program name. Every form of the port option is taken
// out: "--port X", "--port=X", "-p X", "-pX", and a 'p' within a group of short flags ("-qp X").
std::vector<std::string> ArgumentsForOnePort(const std::vector<std::string>& args,
                                             const std::string& port);
