#include "platform/shared_counts.h"

#include <windows.h>

namespace {

HANDLE AsHandle(long long value) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value));
}

} // namespace

CSharedCounts::~CSharedCounts() {
    if (m_handle != -1) {
        CloseHandle(AsHandle(m_handle));
    }
}

bool CSharedCounts::Open(const std::string& path, std::string* error) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "Windows error " + std::to_string(GetLastError());
        return false;
    }
    m_handle = static_cast<long long>(reinterpret_cast<intptr_t>(file));
    return true;
}

bool CSharedCounts::Update(const std::function<void(SharedCounts&)>& change, SharedCounts* now) {
    *now = SharedCounts();
    if (m_handle == -1) {
        return false;
    }
    HANDLE file = AsHandle(m_handle);
    OVERLAPPED lockAt = {};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt)) {
        return false;
    }
    int64_t values[2] = {0, 0};
    OVERLAPPED at = {};
    DWORD got = 0;
    bool ok =
        ReadFile(file, values, sizeof values, &got, &at) || GetLastError() == ERROR_HANDLE_EOF;
    if (ok) {
        SharedCounts counts{values[0], values[1]};
        change(counts);
        values[0] = counts.passed;
        values[1] = counts.closing;
        OVERLAPPED writeAt = {};
        DWORD written = 0;
        ok = WriteFile(file, values, sizeof values, &written, &writeAt) && written == sizeof values;
        if (ok) {
            *now = counts;
        }
    }
    UnlockFileEx(file, 0, 1, 0, &lockAt);
    return ok;
}
