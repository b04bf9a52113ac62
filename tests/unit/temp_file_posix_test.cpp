// The copy a parent hands its children has no name in the temporary folder, so that nothing is
// left there whatever ends the parent; the programs it starts read it by the path it gives.

#include "platform/temp_file.h"

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>

namespace {

// The names in a folder, less "." and "..".
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

class TempFilePosix : public ::testing::Test {
protected:
    const ScratchDir scratch;
    std::string saved;
    bool hadTmpdir = false;

    void SetUp() override {
        const char* tmpdir = std::getenv("TMPDIR");
        hadTmpdir = tmpdir != nullptr;
        saved = tmpdir ? tmpdir : "";
    }
    void TearDown() override {
        if (hadTmpdir) {
            ::setenv("TMPDIR", saved.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
};

TEST_F(TempFilePosix, LeavesNoNameAndReachesTheProgramsItStarts) {
    const std::string folder = scratch / "tmp";
    ASSERT_EQ(RunShell("mkdir " + folder), 0);
    ::setenv("TMPDIR", folder.c_str(), 1);
    const std::string bytes = std::string("S00600004844521B\n") + '\0' + "S9030000FC\n";
    std::ofstream(scratch / "expected", std::ios::binary) << bytes;
    {
        CTempFile copy;
        std::string error;
        ASSERT_TRUE(copy.Write(bytes.data(), bytes.size(), &error)) << error;
        EXPECT_EQ(Entries(folder), std::vector<std::string>()) << "the copy has a name";
        EXPECT_EQ(ReadText(copy.Path()), bytes);
        // A program started afterwards opens the same path in itself.
        EXPECT_EQ(RunShell("cmp -s '" + copy.Path() + "' '" + scratch / "expected" + "'"), 0);
    }
    EXPECT_EQ(Entries(folder), std::vector<std::string>());
}

TEST_F(TempFilePosix, NamesTheFolderItCannotUse) {
    const std::string folder = scratch / "no-such-folder";
    ::setenv("TMPDIR", folder.c_str(), 1);
    CTempFile copy;
    std::string error;
    EXPECT_FALSE(copy.Write("S9030000FC\n", 11, &error));
    EXPECT_NE(error.find(folder), std::string::npos) << error;
    EXPECT_TRUE(copy.Path().empty());
}

} // namespace
