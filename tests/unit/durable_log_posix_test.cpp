// The durable log on POSIX: processes appending at once leave only whole records, and an append
// that cannot be made says why. (A write that falls short, and the cut-back after it, is
// tovik-cli's end-to-end test under a file-size limit.)

#include "platform/durable_log.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kWriters = 4;
constexpr int kRecords = 100;

// Record r of writer w: its numbers, then padding of a length that differs from record to record
// (up to a few pages, more than one write to a pipe would keep whole), then its length again.
std::string Record(int w, int r) {
    const std::string padding(static_cast<size_t>((w * 7919 + r * 104729) % 9000), 'x');
    return std::to_string(w) + " " + std::to_string(r) + " " + padding + " " +
           std::to_string(padding.size()) + "\n";
}

TEST(DurableLog, WritersInSeveralProcessesLeaveOnlyWholeRecords) {
    const ScratchDir scratch;
    const std::string path = scratch / "log.jsonl";
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CDurableLog log;
            std::string error;
            bool ok = log.Open(path, &error);
            for (int r = 0; ok && r < kRecords; ++r) {
                ok = log.Append(Record(w, r), &error);
            }
            ::_exit(ok ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
    }
    std::istringstream lines(ReadText(path));
    std::set<std::pair<int, int>> seen;
    for (std::string line; std::getline(lines, line);) {
        int w = -1, r = -1;
        std::istringstream words(line);
        words >> w >> r;
        ASSERT_TRUE(w >= 0 && w < kWriters && r >= 0 && r < kRecords) << line.substr(0, 40);
        ASSERT_EQ(line + "\n", Record(w, r)) << "a record broken or run into another";
        EXPECT_TRUE(seen.insert({w, r}).second) << "record " << w << " " << r << " twice";
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kWriters * kRecords));
}

TEST(DurableLog, AppendToAFullDeviceSaysWhy) {
    CDurableLog log;
    std::string error;
    ASSERT_TRUE(log.Open("/dev/full", &error)) << error;
    EXPECT_FALSE(log.Append("{}\n", &error));
    EXPECT_EQ(error, "No space left on device");
}

} // namespace
