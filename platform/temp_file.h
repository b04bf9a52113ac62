#pragma once
// A private copy of bytes given once, for programs started by this one that take a file name.
// One source file per platform (temp_file_posix.cpp, temp_file_win32.cpp).
//
// On POSIX the copy has no name in any folder: it is an open descriptor that the programs started
// afterwards inherit, and they open it through /proc/self/fd. It goes with the last process that
// holds it, so nothing is left behind when this process is killed. On Windows it is a file in the
// user's temporary folder, deleted when the object goes.

#include <cstddef>
#include <string>

class CTempFile {
public:
    CTempFile() = default;
    ~CTempFile();
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    // Makes the copy (readable by this user alone) with exactly these bytes. False, with the
    // reason in *error and nothing left behind, when it cannot be made or written whole.
    bool Write(const char* data, size_t size, std::string* error);
    // The path by which this process, and a program it starts after Write, open the copy; empty
    // until Write succeeded.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1; // POSIX: the copy itself
};
