#include "platform/temp_file.h"

#include <cstdio>
#include <windows.h>

CTempFile::~CTempFile() {
    if (!m_path.empty()) {
        ::DeleteFileA(m_path.c_str());
    }
}

bool CTempFile::Write(const char* data, size_t size, std::string* error) {
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    const DWORD length = ::GetTempPathA(sizeof folder, folder);
    // GetTempFileName makes the file, in the user's own temporary folder.
    if (length == 0 || length > MAX_PATH || ::GetTempFileNameA(folder, "tvk", 0, name) == 0) {
        *error = "cannot make a temporary file (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    FILE* file = std::fopen(name, "wb");
    const bool written = file != nullptr && std::fwrite(data, 1, size, file) == size;
    const bool closed = file != nullptr && std::fclose(file) == 0;
    if (!written || !closed) {
        *error = "cannot write the temporary file " + std::string(name);
        ::DeleteFileA(name);
        return false;
    }
    m_path = name;
    return true;
}
