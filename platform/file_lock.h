#pragma once
// An exclusive lock between processes, held on a file of its own beside what it guards, so that
// programs that rewrite one settings file one after another never lose each other's changes.
// One source file per platform (file_lock_posix.cpp: flock; file_lock_win32.cpp: LockFileEx).
//
// The lock file is made when missing and left in place: removing it while another process waits
// on it would let a third process lock a new file of the same name at the same time.

#include <string>

class CFileLock {
public:
    CFileLock() = default;
    // Releases the lock, if held.
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // Waits until this process holds the lock on lockPath. False, with the system's reason in
    // *error, when the lock file cannot be made or opened; nothing is held then.
    bool Acquire(const std::string& lockPath, std::string* error);

private:
    // The open lock file: a descriptor on POSIX, a HANDLE on Windows; null/-1 while none.
    long long m_handle = -1;
};
