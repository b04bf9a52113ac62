#include "platform/memory_file.h"

#include <cerrno>
#include <cstring>

FILE* OpenMemoryFile(const char* data, size_t size, std::string* error) {
    // An empty copy still needs a buffer: given none, fmemopen would allocate one of its own.
    static char s_empty[1];
    FILE* file = ::fmemopen(size == 0 ? s_empty : const_cast<char*>(data), size, "r");
    if (file == nullptr) {
        *error = std::strerror(errno);
    }
    return file;
}
