#include "platform/file_lock.h"

#include "platform/serial_device_win32.h"
#include "platform/wide_text_win32.h"

#include <windows.h>

#include <string>

namespace {

HANDLE AsHandle(long long handle) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}

} // namespace

CFileLock::~CFileLock() {
    if (m_handle != -1) {
        // Closing the handle releases the lock.
        ::CloseHandle(AsHandle(m_handle));
    }
}

bool CFileLock::Acquire(const std::string& lockPath, std::string* error) {
    // Shared for reading, writing and deleting: other processes must be able to open the file
    // to wait for the lock.
    HANDLE file = ::CreateFileW(Widen(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = SystemErrorText(::GetLastError());
        return false;
    }
    OVERLAPPED start = {};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &start)) {
        *error = SystemErrorText(::GetLastError());
        ::CloseHandle(file);
        return false;
    }
    m_handle = static_cast<long long>(reinterpret_cast<intptr_t>(file));
    return true;
}
