#include "loader/file_copy.h"

#include "platform/memory_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kFirstCapacity = 64 * 1024;

std::string Sorry(const std::string& what, const std::string& name, const std::string& why) {
    return "Sorry, cannot " + what + " " + name + ": " + why + " !";
}

} // namespace

CFileCopy::~CFileCopy() {
    Clear();
    std::free(m_data);
}

void CFileCopy::Clear() {
    if (m_stream) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
    m_size = 0;
}

int CFileCopy::ReadStream(FILE* stream, const std::string& name, std::string* error) {
    Clear();
    errno = 0;
    for (;;) {
        if (m_size == m_capacity) {
            // Doubling keeps the copying of a growing buffer to a small multiple of the file,
            // and the allocation is checked rather than thrown: a file too large for memory is a
            // user's mistake to report, not a crash.
            const size_t capacity = m_capacity == 0 ? kFirstCapacity : 2 * m_capacity;
            void* grown = capacity > m_capacity ? std::realloc(m_data, capacity) : nullptr;
            if (grown == nullptr) {
                Clear();
                *error = "Sorry, " + name + " is too large to be read into memory !";
                return kCopyTooLarge;
            }
            m_data = static_cast<char*>(grown);
            m_capacity = capacity;
        }
        const size_t got = std::fread(m_data + m_size, 1, m_capacity - m_size, stream);
        m_size += got;
        if (got == 0) {
            break;
        }
    }
    if (std::ferror(stream)) {
        const int cause = errno;
        Clear();
        *error = Sorry("read", name, cause != 0 ? std::strerror(cause) : "read error");
        return kCopyCannotRead;
    }
    return 0;
}

int CFileCopy::ReadPath(const std::string& path, std::string* error) {
    if (path == "-") {
        return ReadStream(stdin, "standard input", error);
    }
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        const int cause = errno;
        Clear();
        *error = Sorry("open", path, std::strerror(cause));
        return kCopyCannotOpen;
    }
    const int result = ReadStream(file, path, error);
    std::fclose(file);
    return result;
}

FILE* CFileCopy::Stream(std::string* error) {
    if (m_stream == nullptr) {
        std::string why;
        m_stream = OpenMemoryFile(m_data, m_size, &why);
        if (m_stream == nullptr) {
            *error = "Sorry, the copy of the file cannot be opened: " + why + " !";
        }
    }
    return m_stream;
}
