// The durable log on Windows: every write goes to the end of the file (an offset of all ones),
// LockFileEx on one byte far beyond any record keeps other processes' records (and their
// cut-backs) apart from ours while leaving the records themselves readable, and
// FlushFileBuffers makes the record durable. The console's handler runs on a thread of its own,
// so nothing here is restricted to what a signal handler may do.

#include "platform/durable_log_os.h"

#include "platform/serial_device_win32.h"
#include "platform/wide_text_win32.h"

#include <windows.h>

namespace {

HANDLE AsHandle(long long handle) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}

bool Fail(DWORD number, std::string* error) {
    if (error != nullptr) {
        *error = SystemErrorText(number);
    }
    return false;
}

// The byte the appending processes lock: no record ever reaches it.
OVERLAPPED LockByte() {
    OVERLAPPED at = {};
    at.Offset = 0xFFFFFFFE;
    at.OffsetHigh = 0x7FFFFFFF;
    return at;
}

} // namespace

namespace durable_log_os {

long long OpenForAppend(const std::string& path, std::string* error) {
    HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail(::GetLastError(), error);
        return -1;
    }
    return static_cast<long long>(reinterpret_cast<intptr_t>(file));
}

void Close(long long handle) {
    ::CloseHandle(AsHandle(handle));
}

bool AppendWhole(long long handle, const char* data, size_t size, std::string* error) {
    HANDLE file = AsHandle(handle);
    OVERLAPPED lock = LockByte();
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock)) {
        return Fail(::GetLastError(), error);
    }
    LARGE_INTEGER before = {};
    DWORD failure = ::GetFileSizeEx(file, &before) ? 0 : ::GetLastError();
    size_t written = 0;
    while (failure == 0 && written < size) {
        OVERLAPPED atEnd = {};
        atEnd.Offset = 0xFFFFFFFF;
        atEnd.OffsetHigh = 0xFFFFFFFF;
        const DWORD piece =
            static_cast<DWORD>(size - written < 0x40000000 ? size - written : 0x40000000);
        DWORD count = 0;
        if (!::WriteFile(file, data + written, piece, &count, &atEnd)) {
            failure = ::GetLastError();
        } else if (count == 0) {
            failure = ERROR_DISK_FULL;
        }
        written += count;
    }
    if (failure == 0 && !::FlushFileBuffers(file)) {
        failure = ::GetLastError();
    }
    if (failure != 0 && written > 0 && ::SetFilePointerEx(file, before, nullptr, FILE_BEGIN) &&
        ::SetEndOfFile(file)) {
        ::FlushFileBuffers(file);
    }
    lock = LockByte();
    ::UnlockFileEx(file, 0, 1, 0, &lock);
    return failure == 0 || Fail(failure, error);
}

void Nap() {
    ::Sleep(1);
}

} // namespace durable_log_os
