#include "tests/support/test_programs.h"

#include <cstdlib>

std::string TestProgram(const std::string& builtPath) {
    const char* folder = std::getenv("TOVIK_PROGRAMS");
    if (folder == nullptr || *folder == '\0') {
        return builtPath;
    }
    const size_t slash = builtPath.find_last_of("/\\");
    return std::string(folder) + "/" +
           (slash == std::string::npos ? builtPath : builtPath.substr(slash + 1));
}
