#include "bench/bench_process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace {

std::vector<char*> ArgvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    return argv;
}

} // namespace

SimProcess::SimProcess(const std::string& program, const std::vector<std::string>& options) {
    int out[2];
    if (::pipe(out) != 0) {
        return;
    }
    std::vector<std::string> args{program};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv = ArgvOf(args);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    ::close(out[1]);
    m_out = out[0];
    // The first line is "READY <slave path>"; it comes once the device answers.
    std::string line;
    char c = 0;
    while (::read(m_out, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    if (line.rfind("READY ", 0) == 0) {
        m_slavePath = line.substr(6);
    }
}

void SimProcess::Stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    if (m_out >= 0) {
        ::close(m_out);
        m_out = -1;
    }
}

ChildRun RunTimed(const std::vector<std::string>& command) {
    ChildRun run;
    int err[2];
    if (::pipe(err) != 0) {
        return run;
    }
    std::vector<std::string> args = command;
    std::vector<char*> argv = ArgvOf(args);
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(err[1], 2);
        ::close(err[0]);
        ::close(err[1]);
        ::execvp(argv[0], argv.data());
        std::_Exit(127);
    }
    ::close(err[1]);
    std::string pending;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(err[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        // The loader writes each trace line with one call right after the frame went out or was
        // accepted, so the moment the line is read is the moment of the frame, give or take the
        // scheduling of this process.
        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        pending.append(buffer, static_cast<size_t>(n));
        size_t from = 0;
        for (size_t nl = pending.find('\n'); nl != std::string::npos;
             nl = pending.find('\n', from)) {
            run.stderrLines.push_back({now, pending.substr(from, nl - from)});
            from = nl + 1;
        }
        pending.erase(0, from);
    }
    if (!pending.empty()) {
        run.stderrLines.push_back(
            {std::chrono::duration<double>(Clock::now() - start).count(), pending});
    }
    ::close(err[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.maxRssKb = usage.ru_maxrss;
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace bench
