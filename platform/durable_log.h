#pragma once
// A log that several processes append whole lines to, each made durable before Append returns: the
// record of every load. One source file per platform for the system's part
// (durable_log_posix.cpp: O_APPEND, flock, fsync; durable_log_win32.cpp: writes at the end under
// LockFileEx, FlushFileBuffers); durable_log.cpp holds the record armed for an abrupt end.
//
// A record is never half there: an append is one write of the whole line under an exclusive lock
// on the log, and when the write falls short or fails (a full disk, a file-size limit) the file is
// cut back to where it ended before, so that the next record still starts on a line of its own.
//
// The abrupt end: a load the second interrupt ends at once (it cannot wait for the command in
// flight) still leaves its record. The caller arms a preformatted line and keeps it current; the
// second interrupt's handler appends it before the process ends. One record is armed per process.
// On POSIX the handler is a signal handler, so the armed line is kept in two buffers switched by
// an atomic index, and Append keeps the interrupts off its own thread while it writes.

#include <mutex>
#include <string>

class CDurableLog {
public:
    CDurableLog() = default;
    // Disarms this log's armed record and closes the log.
    ~CDurableLog();
    CDurableLog(const CDurableLog&) = delete;
    CDurableLog& operator=(const CDurableLog&) = delete;

    // Opens path for appending, made when missing (mode 0666 less the umask). False, with the
    // system's reason in *error ("Is a directory", "Permission denied"), when it cannot be.
    bool Open(const std::string& path, std::string* error);
    bool IsOpen() const { return m_handle != -1; }

    // Appends line (which ends with its newline) whole and makes it durable. False, with the
    // system's reason in *error, when anything failed; the log is then as it was before. The
    // record armed on this log is disarmed in the same step: the appended line is the load's
    // record, and an interrupt that comes meanwhile writes exactly one of the two.
    bool Append(const std::string& line, std::string* error);

    // From now on the second interrupt appends line (a whole record) before it ends the process;
    // a later call replaces the line. The caller keeps it current as the load goes on.
    void ArmAbruptEnd(const std::string& line);
    // The second interrupt appends nothing for this log any more.
    void DisarmAbruptEnd();

private:
    // The open log: a descriptor on POSIX, a HANDLE on Windows; -1 while none.
    long long m_handle = -1;
    std::mutex m_mutex; // one Append at a time from the threads of this process
};
