#pragma once
// A scratch folder per test, unique to this run of the test program, so that two runs on one
// machine (a developer's and CI's, say) never share files.

#include <gtest/gtest.h>

#include <random>
#include <string>

inline std::string TestTempDir(const std::string& name) {
    static const std::string run = std::to_string(std::random_device{}());
    return ::testing::TempDir() + "tovik-" + run + "-" + name;
}
