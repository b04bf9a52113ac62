// Child processes on POSIX: posix_spawn with the pipes put in place of descriptors 1 and 2, and
// poll() to wait for output.

#include "platform/child_process.h"

#include "platform/unique_fd.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

struct CChildProcess::Impl {
    pid_t pid = -1;
    bool reaped = false;
    int interrupts = 0; // sent so far
    int exitCode = -1;
    CUniqueFd out;
    CUniqueFd err;
};

namespace {

// Moves what can be read without waiting into text; closes fd at its end (or on an error other
// than "nothing yet").
void Drain(CUniqueFd& fd, std::string* text) {
    char buffer[4096];
    while (fd.IsValid()) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got > 0) {
            text->append(buffer, static_cast<size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            fd.Reset();
        }
    }
}

// A pipe whose read end (for the parent) does not block; both ends close on exec, the write end
// is put in the child's place by the spawn's dup2, which clears that flag on the copy.
bool MakePipe(CUniqueFd& readEnd, CUniqueFd& writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.Reset(ends[0]);
    writeEnd.Reset(ends[1]);
    return ::fcntl(readEnd.Get(), F_SETFL, O_NONBLOCK) == 0;
}

} // namespace

CChildProcess::CChildProcess() : m_impl(std::make_unique<Impl>()) {}

CChildProcess::~CChildProcess() {
    if (m_impl->pid > 0 && !m_impl->reaped) {
        if (m_impl->interrupts == 0) {
            Interrupt();
        }
        int status = 0;
        while (::waitpid(m_impl->pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

bool CChildProcess::Start(const std::vector<std::string>& argv, std::string* error) {
    CUniqueFd outWrite, errWrite;
    if (argv.empty() || !MakePipe(m_impl->out, outWrite) || !MakePipe(m_impl->err, errWrite)) {
        *error = argv.empty() ? "no program given" : std::strerror(errno);
        return false;
    }
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (std::string& a : copy) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), 2);
    // A group of its own: the terminal's Ctrl-C goes to the parent's group only. The signal mask
    // and dispositions are the defaults, whatever the parent has set for itself.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        *error = std::string(argv[0]) + ": " + std::strerror(result);
        m_impl->out.Reset();
        m_impl->err.Reset();
        return false;
    }
    m_impl->pid = pid;
    return true;
}

void CChildProcess::Read(std::string* out, std::string* err) {
    Drain(m_impl->out, out);
    Drain(m_impl->err, err);
}

bool CChildProcess::OutputEnded() const {
    return !m_impl->out.IsValid() && !m_impl->err.IsValid();
}

void CChildProcess::Interrupt() {
    if (m_impl->pid > 0 && !m_impl->reaped) {
        ::kill(m_impl->pid, m_impl->interrupts++ == 0 ? SIGINT : SIGTERM);
    }
}

bool CChildProcess::Ended(int* exitCode) {
    if (m_impl->pid > 0 && !m_impl->reaped) {
        int status = 0;
        if (::waitpid(m_impl->pid, &status, WNOHANG) == m_impl->pid) {
            m_impl->reaped = true;
            m_impl->exitCode = WIFEXITED(status)     ? WEXITSTATUS(status)
                               : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                                     : -1;
        }
    }
    if (m_impl->reaped) {
        *exitCode = m_impl->exitCode;
    }
    return m_impl->reaped;
}

void CChildProcess::WaitForOutput(const std::vector<CChildProcess*>& children, int ms) {
    std::vector<pollfd> fds;
    for (CChildProcess* child : children) {
        for (const CUniqueFd* fd : {&child->m_impl->out, &child->m_impl->err}) {
            if (fd->IsValid()) {
                fds.push_back({fd->Get(), POLLIN, 0});
            }
        }
    }
    ::poll(fds.data(), fds.size(), ms);
}

std::string OwnProgramPath() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

namespace {
std::atomic<pid_t> g_parent{0};
} // namespace

void RememberParent() {
    g_parent = ::getppid();
}

bool ParentGone() {
    const pid_t parent = g_parent;
    // An orphan is adopted by init or a subreaper: its parent's number changes.
    return parent != 0 && ::getppid() != parent;
}
