#include "platform/host_name.h"

#include <climits>
#include <unistd.h>

#ifndef HOST_NAME_MAX
#define HOST_NAME_MAX 255
#endif

std::string ShortHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return std::string();
    }
    const std::string full = name;
    return full.substr(0, full.find('.'));
}
