// Writes the Windows program's icon and search clip into the folder given:
//   make_resources FOLDER  ->  FOLDER/tovik.ico, FOLDER/search.avi
// Run at build time on the build machine, so that no binary picture is kept in the sources.

#include "res/windows_pictures.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) {
        std::fprintf(stderr, "%s: the picture does not fit its format\n", path.c_str());
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argc > 0 ? argv[0] : "make_resources");
        return 2;
    }
    std::string folder = argv[1];
    bool icon = WriteFile(folder + "/tovik.ico", TovikIcoFile());
    bool clip = WriteFile(folder + "/search.avi", SearchAviFile());
    return icon && clip ? 0 : 1;
}
