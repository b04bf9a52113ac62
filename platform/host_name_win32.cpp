#include "platform/host_name.h"

#include <windows.h>

std::string ShortHostName() {
    // The DNS host name is already without its domain.
    char name[256] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameExA(ComputerNameDnsHostname, name, &size)) {
        return std::string();
    }
    const std::string full(name, size);
    return full.substr(0, full.find('.'));
}
