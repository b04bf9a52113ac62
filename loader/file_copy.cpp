#include "loader/file_copy.h"

#include "platform/memory_file.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kFirstCapacity = 64 * 1024;

std::string Sorry(const std::string& what, const std::string& name, const std::string& why) {
    return "Sorry, cannot " + what + " " + name + ": " + why + " !";
}

} // namespace

CFileCopy::~CFileCopy() {
    Clear();
    FreeFileBuffer(m_data);
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
    // A file that can seek tells its size, and the buffer is made large enough at once (one
    // more byte, for the read that finds the end); a pipe's buffer grows as the bytes come. The
    // size is only a hint: what a directory or a device tells is no size at all.
    const long start = std::ftell(stream);
    if (start >= 0 && std::fseek(stream, 0, SEEK_END) == 0) {
        const long end = std::ftell(stream);
        if (std::fseek(stream, start, SEEK_SET) != 0) {
            const int cause = errno;
            *error = Sorry("read", name, std::strerror(cause));
            return kCopyCannotRead;
        }
        const size_t hint = end > start ? static_cast<size_t>(end - start) + 1 : 0;
        if (hint > m_capacity) {
            if (char* sized = ResizeFileBuffer(m_data, hint)) {
                m_data = sized;
                m_capacity = hint;
            }
        }
    }
    errno = 0;
    for (;;) {
        if (m_size == m_capacity) {
            // Doubling keeps the copying of a growing buffer to a small multiple of the file,
            // and the allocation is checked rather than thrown: a file too large for memory is a
            // user's mistake to report, not a crash.
            const size_t capacity = m_capacity == 0 ? kFirstCapacity : 2 * m_capacity;
            char* grown = capacity > m_capacity ? ResizeFileBuffer(m_data, capacity) : nullptr;
            if (grown == nullptr) {
                Clear();
                *error = "Sorry, " + name + " is too large to be read into memory !";
                return kCopyTooLarge;
            }
            m_data = grown;
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
