// The copy a parent hands its children: that it leaves no name in the temporary folder and reaches
// the children is shown by the end-to-end tests (KilledParentLeavesNoCopy,
// SeveralPortsFromOnePipe); here, the folder it cannot use.

#include "platform/temp_file.h"

#include "tests/support/saved_variable.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(TempFilePosix, NamesTheFolderItCannotUse) {
    const ScratchDir scratch;
    const SavedVariable tmpdir{"TMPDIR"};
    const std::string folder = scratch / "no-such-folder";
    ::setenv("TMPDIR", folder.c_str(), 1);
    CTempFile copy;
    std::string error;
    EXPECT_FALSE(copy.Write("S9030000FC\n", 11, &error));
    EXPECT_NE(error.find(folder), std::string::npos) << error;
    EXPECT_TRUE(copy.Path().empty());
}

} // namespace
