#pragma once
// Child processes whose output the parent reads: tovik-cli loads several ports by running itself
// once per port and reading each child's standard output and error through pipes. One source file
// per platform (child_process_posix.cpp, child_process_win32.cpp).

#include <memory>
#include <string>
#include <vector>

class CChildProcess {
public:
    CChildProcess();
    // A child that still runs is asked to stop (Interrupt, unless it was asked before) and waited
    // for: it may be in the middle of an erase, and is not killed.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts the program argv[0] (a path) with argv. Its standard input reads from the null
    // device; its standard output and error go to two pipes that Read() empties. The child gets a
    // process group of its own (a console group of its own on Windows), so that a Ctrl-C at the
    // terminal reaches the parent alone, which passes it on with Interrupt(): once, not twice.
    // False, with the reason in *error, when it could not be started.
    bool Start(const std::vector<std::string>& argv, std::string* error);

    // Appends what the child has written since the last call, without waiting.
    void Read(std::string* out, std::string* err);
    // True when both pipes have reached their end (the child and anything it started closed them).
    bool OutputEnded() const;

    // Asks the child to stop as a Ctrl-C would: SIGINT on POSIX, CTRL_BREAK_EVENT on Windows.
    // Every later call on POSIX sends SIGTERM, which tovik-cli takes alike: two SIGINTs sent
    // before the child has taken the first would reach it as one, and a second Ctrl-C would be
    // lost.
    void Interrupt();

    // True once the child has ended, with its exit code in *exitCode (on POSIX 128 + the signal
    // number when a signal ended it). Never waits.
    bool Ended(int* exitCode);

    // Waits up to ms milliseconds until one of the children has output to read or a pipe has
    // ended.
    static void WaitForOutput(const std::vector<CChildProcess*>& children, int ms);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The file of the running program, to start it again; empty when the system does not tell.
std::string OwnProgramPath();

// For a child: from now on ParentGone() tells whether the process that started this one has ended
// (a killed station must not leave its slots searching without limit), so that it can stop as
// Stop does. Never true on Windows, where the children of a process that ends are ended with it
// (a job object).
void RememberParent();
bool ParentGone();
