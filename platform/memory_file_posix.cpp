#include "platform/memory_file.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Below this a buffer gains little from large pages; the size of a large page on x86-64.
constexpr size_t kLargePagesFrom = 4u << 20;
constexpr uintptr_t kLargePage = 2u << 20;

} // namespace

FILE* OpenMemoryFile(const char* data, size_t size, std::string* error) {
    // An empty copy still needs a buffer: given none, fmemopen would allocate one of its own.
    static char s_empty[1];
    FILE* file = ::fmemopen(size == 0 ? s_empty : const_cast<char*>(data), size, "r");
    if (file == nullptr) {
        *error = std::strerror(errno);
    }
    return file;
}

char* ResizeFileBuffer(char* buffer, size_t capacity) {
    char* resized = static_cast<char*>(std::realloc(buffer, capacity));
    if (resized != nullptr && capacity >= kLargePagesFrom) {
        // Only whole large pages inside the buffer can be mapped so; the pages already touched
        // stay as they are. A system without them just says no, which changes nothing.
        const uintptr_t begin =
            (reinterpret_cast<uintptr_t>(resized) + kLargePage - 1) & ~(kLargePage - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(resized) + capacity) & ~(kLargePage - 1);
        if (end > begin) {
            ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
        }
    }
    return resized;
}

void FreeFileBuffer(char* buffer) {
    std::free(buffer);
}
