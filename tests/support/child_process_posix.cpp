#include "tests/support/child_process.h"

#include "tests/support/wait_until.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The program execv() would run for `name`, found the way a shell finds it.
std::string ProgramPath(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t from = 0; from <= folders.size();) {
        std::size_t colon = folders.find(':', from);
        if (colon == std::string::npos) {
            colon = folders.size();
        }
        const std::string folder = colon > from ? folders.substr(from, colon - from) : ".";
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        from = colon + 1;
    }
    return name;
}

// The descriptor the child gets for `output`, opened close-on-exec in this process; -1 for
// kInherit. For kPipe, `readEnd` gets this process's end.
int ChildEnd(const ChildOutput& output, int& readEnd) {
    switch (output.kind) {
    case ChildOutput::kInherit:
    case ChildOutput::kClosed:
        return -1;
    case ChildOutput::kDiscard:
        return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    case ChildOutput::kFile:
        return ::open(output.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    case ChildOutput::kPipe: {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return -1;
        }
        readEnd = ends[0];
        return ends[1];
    }
    }
    return -1;
}

} // namespace

ChildProcess::~ChildProcess() {
    Kill();
    WaitForExit();
    Close(pipes_[kOut]);
    Close(pipes_[kErr]);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, ChildOutput out, ChildOutput err) {
    if (Running() || argv.empty()) {
        return false;
    }
    Close(pipes_[kOut]);
    Close(pipes_[kErr]);
    exit_ = ChildExit();
    const std::string program = ProgramPath(argv[0]);
    std::vector<std::string> args = argv;
    std::vector<char*> pointers;
    for (std::string& a : args) {
        pointers.push_back(a.data());
    }
    pointers.push_back(nullptr);

    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int childOut = ChildEnd(out, pipes_[kOut].fd);
    const int childErr = ChildEnd(err, pipes_[kErr].fd);
    auto opened = [](const ChildOutput& output, int fd) {
        return output.kind == ChildOutput::kInherit || output.kind == ChildOutput::kClosed ||
               fd >= 0;
    };
    const bool ready = input >= 0 && opened(out, childOut) && opened(err, childErr);
    if (ready) {
        pid_ = ::fork();
        if (pid_ == 0) {
            // Async-signal-safe calls only: other threads of the parent may hold locks.
            ::dup2(input, 0);
            if (childOut >= 0) {
                ::dup2(childOut, 1);
            }
            if (childErr >= 0) {
                ::dup2(childErr, 2);
            }
            if (out.kind == ChildOutput::kClosed) {
                ::close(1);
            }
            if (err.kind == ChildOutput::kClosed) {
                ::close(2);
            }
            ::close_range(3, ~0U, 0);
            ::execv(program.c_str(), pointers.data());
            ::_exit(127);
        }
    }
    for (int fd : {input, childOut, childErr}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (pid_ <= 0) {
        pid_ = -1;
        Close(pipes_[kOut]);
        Close(pipes_[kErr]);
        return false;
    }
    return true;
}

bool ChildProcess::ReadLine(Stream stream, std::string& line) {
    Pipe& pipe = pipes_[stream];
    for (;;) {
        const std::size_t newline = pipe.pending.find('\n');
        if (newline != std::string::npos) {
            line = pipe.pending.substr(0, newline);
            pipe.pending.erase(0, newline + 1);
            return true;
        }
        char buffer[65536];
        const ssize_t count = pipe.fd >= 0 ? ::read(pipe.fd, buffer, sizeof buffer) : 0;
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            Close(pipe);
            line = pipe.pending;
            pipe.pending.clear();
            return !line.empty();
        }
        pipe.pending.append(buffer, static_cast<std::size_t>(count));
    }
}

bool ChildProcess::Signal(int number) {
    return Running() && ::kill(pid_, number) == 0;
}

bool ChildProcess::Kill() {
    return Signal(SIGKILL);
}

bool ChildProcess::Reap(bool block) {
    if (!Running()) {
        return true;
    }
    int status = 0;
    rusage usage{};
    pid_t result;
    do {
        result = ::wait4(pid_, &status, block ? 0 : WNOHANG, &usage);
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        return false;
    }
    pid_ = -1;
    exit_.ended = true;
    if (result > 0) {
        exit_.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        exit_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        exit_.maxRssKb = usage.ru_maxrss;
        exit_.cpuSeconds =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return true;
}

const ChildExit& ChildProcess::Wait(std::chrono::milliseconds patience) {
    WaitUntil([this] { return Reap(false); }, patience);
    return exit_;
}

const ChildExit& ChildProcess::WaitForExit() {
    Reap(true);
    return exit_;
}

void ChildProcess::Close(Pipe& pipe) {
    if (pipe.fd >= 0) {
        ::close(pipe.fd);
        pipe.fd = -1;
    }
}

int RunShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
