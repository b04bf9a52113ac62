// The slots of a station, each a process of its own, count the boards passed in one file: no
// count may be lost when they pass boards at the same moment, and each slot opens the file by the
// path the station gives it, as a program started afterwards does.

#include "platform/shared_counts.h"
#include "platform/temp_file.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SharedCounts, ProcessesCountingAtOnceLoseNoCount) {
    CTempFile file;
    std::string error;
    const char zeros[sizeof(SharedCounts)] = {};
    ASSERT_TRUE(file.Write(zeros, sizeof zeros, &error)) << error;
    constexpr int kProcesses = 4;
    constexpr int kEach = 300;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CSharedCounts counts;
            std::string openError;
            bool ok = counts.Open(file.Path(), &openError);
            SharedCounts now;
            for (int i = 0; ok && i < kEach; ++i) {
                ok = counts.Update([](SharedCounts& c) { ++c.passed; }, &now);
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    CSharedCounts counts;
    ASSERT_TRUE(counts.Open(file.Path(), &error)) << error;
    SharedCounts now;
    ASSERT_TRUE(counts.Update([](SharedCounts& c) { c.closing = 1; }, &now));
    EXPECT_EQ(now.passed, kProcesses * kEach);
    ASSERT_TRUE(counts.Update([](SharedCounts&) {}, &now));
    EXPECT_EQ(now.closing, 1) << "a change is kept";
}

} // namespace
