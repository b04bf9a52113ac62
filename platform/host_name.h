#pragma once
// The name of this machine, as a production line names its stations. One source file per platform
// (host_name_posix.cpp, host_name_win32.cpp).

#include <string>

// The host name up to its first dot ("bench7", not "bench7.plant.example"); empty when the system
// gives none.
std::string ShortHostName();
