#pragma once
// Puts an environment variable back as it was when the object goes.

#include <cstdlib>
#include <string>

struct SavedVariable {
    const char* name;
    bool set = std::getenv(name) != nullptr;
    std::string value = set ? std::getenv(name) : "";
    ~SavedVariable() { set ? ::setenv(name, value.c_str(), 1) : ::unsetenv(name); }
};
