#pragma once
// A scratch folder for the running test.

#include <fstream>
#include <iterator>
#include <string>

// Made empty when constructed, inside GoogleTest's temporary folder, named after the running test
// (suite, name and parameter; "/" becomes "_") and this run of the test program, so that two runs
// on one machine (a developer's and CI's, say) and tests running in parallel never share files.
// Removed with everything in it when the object goes, unless the test has failed: then its files
// stay for a look.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    // The path of `name` inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole of a file, byte for byte; empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
