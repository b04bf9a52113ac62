#pragma once
// A whole S-record file read once into memory.
//
// The check, the line count and the programming pass all read this copy, so what is programmed
// is exactly what was checked, whatever happens to the file meanwhile, and a file that can be read
// only once (a pipe, a FIFO, standard input) loads like any other.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

// Results of the reading calls besides 0.
constexpr int kCopyCannotOpen = 1;
constexpr int kCopyCannotRead = 2;
constexpr int kCopyTooLarge = 3;
constexpr int kCopyStopped = 4; // the watch stopped the read; the copy holds what was read

// Looks at the copy so far (data[0] to data[size - 1]) after each piece of a read; false stops
// the read there.
using CopyWatch = std::function<bool(const char* data, size_t size)>;

class CFileCopy {
public:
    CFileCopy() = default;
    ~CFileCopy();
    CFileCopy(const CFileCopy&) = delete;
    CFileCopy& operator=(const CFileCopy&) = delete;

    // Replaces the copy with what stream holds from its current position to its end; the stream
    // stays open, at its end. 0, or kCopyCannotRead or kCopyTooLarge with a sentence for a person
    // in *error that names the file as name; the copy is empty then. With a watch, reads in
    // pieces of at most kCopyPiece bytes and asks the watch after each: kCopyStopped when it said
    // stop, the copy holding what was read up to then and the stream left there.
    int ReadStream(FILE* stream, const std::string& name, std::string* error,
                   const CopyWatch& watch = nullptr);

    // Opens path for reading as text, as the dialog opens its file, and reads it whole; "-" is
    // standard input. 0, kCopyCannotOpen, or a result of ReadStream; *error and watch as there.
    int ReadPath(const std::string& path, std::string* error, const CopyWatch& watch = nullptr);

    // The most one piece of a watched read takes.
    static constexpr size_t kCopyPiece = 1024 * 1024;

    const char* Data() const { return m_data; }
    size_t Size() const { return m_size; }

    // A stream over the copy, for code that reads a FILE*. Made at the first call after a read,
    // at the beginning of the copy; later calls return the same stream wherever it stands. Owned
    // by the copy and closed with it or by the next read; nullptr, with a sentence in *error, when
    // it cannot be made.
    FILE* Stream(std::string* error);

private:
    void Clear();

    char* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    FILE* m_stream = nullptr;
};
