#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

namespace {

std::string TestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

} // namespace

ScratchDir::ScratchDir() {
    static const std::string run = std::to_string(std::random_device{}());
    path_ = ::testing::TempDir() + "tovik-" + run + "-" + TestName();
    // Through the library rather than a shell, so the tests also run on Windows.
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    std::filesystem::create_directories(path_, ignored);
}

ScratchDir::~ScratchDir() {
    if (!::testing::Test::HasFailure()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}
