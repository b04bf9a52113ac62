#pragma once
// Runs a check in a child process, for what only a fresh process can show: a session of its own,
// the clean-up at exit, or a user who is not root. Root passes TIOCEXCL and file modes, so a
// check asked to run unprivileged drops to user and group 65534 first when this process is root.
//
// The check returns what went wrong, or nothing; the child hands that back through a pipe.

#include <cerrno>
#include <cstring>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

constexpr const char* kCannotDrop = "cannot drop root: ";

inline std::string RunForkedCheck(bool unprivileged, const std::function<std::string()>& check) {
    int answer[2];
    if (::pipe(answer) != 0) {
        return std::string("pipe: ") + std::strerror(errno);
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        return std::string("fork: ") + std::strerror(errno);
    }
    if (pid == 0) {
        ::close(answer[0]);
        std::string text;
        if (unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
             ::setresuid(65534, 65534, 65534) != 0)) {
            text = kCannotDrop + std::string(std::strerror(errno));
        } else {
            text = check();
        }
        ssize_t written = ::write(answer[1], text.data(), text.size());
        ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    ::close(answer[1]);
    std::string text;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(answer[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(answer[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) {
        return text + " (the child ended by signal " + std::to_string(WTERMSIG(status)) + ")";
    }
    return text;
}

// For a test body: the check's answer, skipping the test when root could not be dropped.
#define EXPECT_CHILD_PASSES(unprivileged, check)                                                   \
    do {                                                                                           \
        const std::string childAnswer = RunForkedCheck(unprivileged, check);                       \
        if (childAnswer.rfind(kCannotDrop, 0) == 0) {                                              \
            GTEST_SKIP() << childAnswer;                                                           \
        }                                                                                          \
        EXPECT_EQ(childAnswer, "");                                                                \
    } while (false)
