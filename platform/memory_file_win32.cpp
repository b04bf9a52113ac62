// Windows has no stream over memory, so the bytes go to a temporary file that only this stream
// knows: it is deleted by the system when its last handle closes, also when the process dies.

#include "platform/memory_file.h"

#include "platform/serial_device_win32.h"
#include "platform/unique_handle_win32.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdlib>

namespace {

std::string LastErrorText() {
    return SystemErrorText(::GetLastError());
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 24));
        DWORD written = 0;
        if (!::WriteFile(file, data + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

FILE* OpenMemoryFile(const char* data, size_t size, std::string* error) {
    char directory[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    const DWORD length = ::GetTempPathA(sizeof directory, directory);
    if (length == 0 || length > MAX_PATH || ::GetTempFileNameA(directory, "tvk", 0, name) == 0) {
        *error = "no temporary file: " + LastErrorText();
        return nullptr;
    }
    // GetTempFileName made the file; it is opened again so that closing it deletes it.
    CUniqueHandle file(
        ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file.IsValid()) {
        *error = "no temporary file: " + LastErrorText();
        ::DeleteFileA(name);
        return nullptr;
    }
    if (!WriteAll(file.Get(), data, size) ||
        ::SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        *error = "cannot write the temporary copy: " + LastErrorText();
        return nullptr;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        *error = "cannot open the temporary copy";
        return nullptr;
    }
    file.Release(); // the descriptor owns the handle now
    FILE* stream = ::_fdopen(fd, "rb");
    if (stream == nullptr) {
        *error = "cannot open the temporary copy";
        ::_close(fd);
    }
    return stream;
}

char* ResizeFileBuffer(char* buffer, size_t capacity) {
    return static_cast<char*>(std::realloc(buffer, capacity));
}

void FreeFileBuffer(char* buffer) {
    std::free(buffer);
}
