#pragma once
// A program run as a child process by the tests and the benchmarks: started with its arguments,
// its output sent where asked, signalled, and waited for with a patience. POSIX only.

#include <chrono>
#include <string>
#include <vector>

// Where the child's standard output or error goes. Its standard input is always empty.
struct ChildOutput {
    enum Kind { kInherit, kDiscard, kPipe, kFile, kClosed };
    Kind kind = kInherit;
    std::string path; // kFile: created or emptied

    static ChildOutput Discard() { return {kDiscard, {}}; }
    // Read back through ChildProcess::ReadLine.
    static ChildOutput Pipe() { return {kPipe, {}}; }
    static ChildOutput File(const std::string& path) { return {kFile, path}; }
    // Not open at all: the child starts with the descriptor closed.
    static ChildOutput Closed() { return {kClosed, {}}; }
};

// How a child ended.
struct ChildExit {
    bool ended = false;    // false: not started, or still running when last asked
    int code = -1;         // the exit code; -1 when it ended by a signal
    int signal = 0;        // the signal that ended it, 0 when it exited
    long maxRssKb = 0;     // its peak resident set
    double cpuSeconds = 0; // its user + system time
};

class ChildProcess {
public:
    enum Stream { kOut, kErr };

    ChildProcess() = default;
    // A child still running is killed and waited for.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up in PATH when it has no slash) with argv. Everything is prepared
    // before the fork, so the child only redirects and execs: safe in a process with threads.
    // The child gets its three standard descriptors and nothing else of this process (such as the
    // end of a pseudo-terminal a device in this process holds).
    // False when it could not be started; a program that cannot be executed exits with 127.
    bool Start(const std::vector<std::string>& argv, ChildOutput out = {}, ChildOutput err = {});
    bool Running() const { return pid_ > 0; }
    // The child's process id while it runs, else -1.
    int Pid() const { return pid_; }

    // The next line of a piped stream, without its newline, as soon as it has come; waits for it.
    // False at the end of the stream with nothing left (a last line without a newline is still
    // returned).
    bool ReadLine(Stream stream, std::string& line);

    // SIGKILL, or any signal; false when there is no child to signal.
    bool Kill();
    bool Signal(int number);

    // Waits up to `patience` for the child to end; its exit, with ended false when it still runs.
    const ChildExit& Wait(std::chrono::milliseconds patience);
    // Waits for as long as it takes.
    const ChildExit& WaitForExit();
    const ChildExit& Exit() const { return exit_; }

private:
    struct Pipe {
        int fd = -1;
        std::string pending;
    };
    bool Reap(bool block);
    void Close(Pipe& pipe);

    int pid_ = -1;
    Pipe pipes_[2];
    ChildExit exit_;
};

// Runs a command through the shell; its exit code, -1 when it did not exit normally.
int RunShell(const std::string& command);
