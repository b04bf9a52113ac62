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

int CFileCopy::ReadStream(FILE* stream, const std::string& name, std::string* error,
                          const CopyWatch& watch) {
    Clear();
    // A file that can seek tells its size; a pipe's buffer grows as the bytes come.
    size_t hint = 0;
    const long start = std::ftell(stream);
    if (start >= 0 && std::fseek(stream, 0, SEEK_END) == 0) {
        const long end = std::ftell(stream);
        if (std::fseek(stream, start, SEEK_SET) != 0) {
            const int cause = errno;
            *error = Sorry("read", name, std::strerror(cause));
            return kCopyCannotRead;
        }
        hint = end > start ? static_cast<size_t>(end - start) + 1 : 0;
    }
    errno = 0;
    for (;;) {
        if (m_size == m_capacity) {
            // Doubling keeps the copying of a growing buffer to a small multiple of the file,
            // and the allocation is checked rather than thrown: a file too large for memory is a
            // user's mistake to report, not a crash.
            size_t capacity = m_capacity == 0 ? kFirstCapacity : 2 * m_capacity;
            char* grown = nullptr;
            // Once the first bytes have come, a file that told its size gets room for all of it
            // (and one more byte, for the read that finds the end) at once. Not before: what a
            // directory tells is no size, and reading one fails at the first read.
            if (m_size > 0 && hint > capacity && (grown = ResizeFileBuffer(m_data, hint))) {
                capacity = hint;
            }
            if (grown == nullptr && capacity > m_capacity) {
                grown = ResizeFileBuffer(m_data, capacity);
            }
            if (grown == nullptr) {
                Clear();
                *error = "Sorry, " + name + " is too large to be read into memory !";
                return kCopyTooLarge;
            }
            m_data = grown;
            m_capacity = capacity;
        }
        // Watched, the read goes piece by piece, so that what cannot be loaded is not read far.
        const size_t room = m_capacity - m_size;
        const size_t got =
            std::fread(m_data + m_size, 1, watch && room > kCopyPiece ? kCopyPiece : room, stream);
        m_size += got;
        if (got == 0) {
            break;
        }
        if (watch && !watch(m_data, m_size)) {
            return kCopyStopped;
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

int CFileCopy::ReadPath(const std::string& path, std::string* error, const CopyWatch& watch) {
    if (path == "-") {
        return ReadStream(stdin, "standard input", error, watch);
    }
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        const int cause = errno;
        Clear();
        *error = Sorry("open", path, std::strerror(cause));
        return kCopyCannotOpen;
    }
    const int result = ReadStream(file, path, error, watch);
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
