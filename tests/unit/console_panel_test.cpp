// tovik-cli's progress display in a log, driven through its front panel and the run's result as
// the loader fills them: the figures of runs too quick or too odd to catch end to end.

#include "cli/console_panel.h"
#include "cli/run_panel.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <string>

namespace {

struct Panel {
    const ScratchDir scratch;
    const std::string log = scratch / "log";
    FILE* out = std::fopen(log.c_str(), "wb");
    CRunResult result;
    CConsolePanel console;
    CRunPanel panel; // what the worker and the supervising thread call

    explicit Panel(uint64_t totalBytes)
        : console(out, false, false, totalBytes), panel(&console, totalBytes, 38400) {
        console.ShowFiguresOf(&result);
        panel.ShowFiguresOf(&result);
    }
    ~Panel() { std::fclose(out); }

    std::string Text() {
        std::fflush(out);
        return ReadText(log);
    }
};

struct Steps {
    const char* name;
    uint64_t totalBytes;
    std::function<void(Panel&)> run; // what the worker and the supervising thread do
    const char* log;
    friend void PrintTo(const Steps& s, std::ostream* out) { *out << s.name; }
};

void Search(Panel& p, int rate) {
    p.result.m_nProbeRate = rate;
    p.panel.Follow();
}

void FailedPass(Panel& p, int cluster, int reply, int failures) {
    p.result.m_nActivity = kActivityErasing;
    p.panel.ShowErasing();
    p.result.m_nPassEraseFailures = failures;
    p.result.m_nFailedCluster = cluster;
    p.result.m_nFailedEraseReply = reply;
    p.result.m_nActivity = kActivitySearching;
    p.panel.OnSearching(p.result.m_nSearches.fetch_add(1) + 1);
}

class ConsolePanelLog : public ::testing::TestWithParam<Steps> {};

TEST_P(ConsolePanelLog, PrintsTrueFigures) {
    Panel p(GetParam().totalBytes);
    p.result.m_nSearches = 1;
    p.result.m_nActivity = kActivitySearching;
    p.panel.OnSearching(1);
    GetParam().run(p);
    p.panel.EndRun();
    // The rate depends on how fast the test runs; the figures do not.
    EXPECT_EQ(std::regex_replace(p.Text(), std::regex("  [0-9.]+ KiB/s[^\n]*"), ""),
              GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConsolePanelLog,
    ::testing::Values(
        // An automatic search alternates its rate at every probe; the log names each rate once.
        Steps{"AutomaticSearch", 10,
              [](Panel& p) {
                  for (int i = 0; i < 6; ++i) {
                      Search(p, i % 2 ? 57600 : 38400);
                  }
              },
              "Looking for device ... 38400 baud\nLooking for device ... 57600 baud\n"},
        // A pass that did not get the reply it waited for says so; the next search and pass
        // start their lines anew.
        Steps{"EraseWithoutReply", 10,
              [](Panel& p) {
                  Search(p, 38400);
                  FailedPass(p, 2, -1, 3);
                  p.result.m_nActivity = kActivityErasing;
                  p.panel.ShowErasing();
                  p.panel.SetProgressPos(1);
              },
              "Looking for device ... 38400 baud\n"
              "tovik-cli: erase of cluster 2 got no reply within 30 s, and of 2 more clusters: "
              "searching again\n"
              "Looking for device ... 38400 baud\nErasing Cluster 1/7\n"},
        // Nothing to write: bytes, and no percentage of nothing.
        Steps{"EmptyImage", 0,
              [](Panel& p) {
                  p.result.m_nActivity = kActivityProgramming;
                  p.panel.ShowProgramming(3);
                  p.panel.SetProgressPos(1);
                  p.panel.SetProgressPos(2);
              },
              "Programming 0/0 bytes\n"},
        // The last block is written after the last line was read: its bytes still count.
        Steps{"LastBlockAfterTheLastLine", 1000,
              [](Panel& p) {
                  p.result.m_nActivity = kActivityProgramming;
                  p.panel.ShowProgramming(2);
                  p.panel.SetProgressPos(0);
                  p.panel.SetProgressPos(1);
                  p.result.m_nBytesWritten = 1000;
                  p.result.m_nActivity = kActivityIdle;
              },
              "Programming   0%  0/1000 bytes\nProgramming 100%  1000/1000 bytes\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
