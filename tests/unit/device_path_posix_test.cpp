// One device under two names: links, and device files of one device, lead to it; names of things
// that do not exist yet can only be compared as names.

#include "platform/device_path.h"
#include "platform/pseudo_terminal.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace {

struct Pair {
    const char* name;
    const char* a; // PTY and PTY2 stand for two pseudo-terminals' slaves, DIR for the scratch dir
    const char* b;
    bool same;
};

const Pair kPairs[] = {
    {"LinkAndItsTarget", "DIR/link-to-pty", "PTY", true},
    {"LinkToALink", "DIR/link-to-link", "PTY", true},
    {"TwoDevices", "PTY", "PTY2", false},
    {"LinkAndAnotherDevice", "DIR/link-to-pty", "PTY2", false},
    {"FileAndItsHardLink", "DIR/file", "DIR/hard-link", true},
    {"TwoFiles", "DIR/file", "DIR/other-file", false},
    {"FileAndDevice", "DIR/file", "PTY", false},
    {"MissingByTheSameName", "DIR/ttyLATE", "DIR/ttyLATE", true},
    {"MissingByOtherNames", "DIR/ttyLATE", "DIR/ttyOTHER", false},
    {"MissingAndADevice", "DIR/ttyLATE", "PTY", false},
};

class SameDevicePosix : public ::testing::TestWithParam<Pair> {
protected:
    const ScratchDir scratch;
    CPseudoTerminal pty, pty2;

    std::string Path(const std::string& name) {
        if (name == "PTY") {
            return pty.SlavePath();
        }
        if (name == "PTY2") {
            return pty2.SlavePath();
        }
        return name.rfind("DIR/", 0) == 0 ? scratch / name.substr(4) : name;
    }
};

TEST_P(SameDevicePosix, ComparesTheDevices) {
    const Pair& p = GetParam();
    ASSERT_TRUE(pty.Open());
    ASSERT_TRUE(pty2.Open());
    std::ofstream(scratch / "file") << "S9030000FC\n";
    std::ofstream(scratch / "other-file") << "S9030000FC\n";
    ASSERT_EQ(::link((scratch / "file").c_str(), (scratch / "hard-link").c_str()), 0);
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), (scratch / "link-to-pty").c_str()), 0);
    ASSERT_EQ(::symlink((scratch / "link-to-pty").c_str(), (scratch / "link-to-link").c_str()), 0);
    EXPECT_EQ(SameDevice(Path(p.a), Path(p.b)), p.same);
    EXPECT_EQ(SameDevice(Path(p.b), Path(p.a)), p.same) << "not the same both ways";
}

INSTANTIATE_TEST_SUITE_P(Table, SameDevicePosix, ::testing::ValuesIn(kPairs),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
