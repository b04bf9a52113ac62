#pragma once
// A private file in the system's temporary folder holding bytes given once, for programs started
// by this one that take a file name; deleted when the object goes. One source file per platform
// (temp_file_posix.cpp, temp_file_win32.cpp).

#include <cstddef>
#include <string>

class CTempFile {
public:
    CTempFile() = default;
    ~CTempFile();
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    // Makes the file (readable by this user alone) with exactly these bytes. False, with the
    // reason in *error and no file left behind, when it cannot be made or written whole.
    bool Write(const char* data, size_t size, std::string* error);
    // The file's path; empty until Write succeeded.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
