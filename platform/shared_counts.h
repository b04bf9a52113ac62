#pragma once
// A few counts in a small file that several processes read and change under one lock: a
// production station runs each slot in a process of its own, and a slot must know how many boards
// all of them have passed before it begins the next, and whether the station is closing.
// One source file per platform (shared_counts_posix.cpp: flock; shared_counts_win32.cpp:
// LockFileEx).

#include <cstdint>
#include <functional>
#include <string>

struct SharedCounts {
    int64_t passed = 0;  // boards passed, over all slots
    int64_t closing = 0; // non-zero: no slot begins another board
};

class CSharedCounts {
public:
    CSharedCounts() = default;
    ~CSharedCounts();
    CSharedCounts(const CSharedCounts&) = delete;
    CSharedCounts& operator=(const CSharedCounts&) = delete;

    // path: an existing file (a new, empty one holds counts of 0). False, with the system's
    // reason in *error, when it cannot be opened for reading and writing.
    bool Open(const std::string& path, std::string* error);
    // Under the lock: reads the counts, lets change() change them (it may leave them), writes them
    // back and gives them in *now. False when the file could not be read, locked or written;
    // *now is then all zero.
    bool Update(const std::function<void(SharedCounts&)>& change, SharedCounts* now);

private:
    long long m_handle = -1; // a descriptor on POSIX, a HANDLE on Windows; -1 while none
};
