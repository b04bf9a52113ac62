#pragma once
// The system's part of CDurableLog (platform/durable_log.h), one source file per platform. A
// handle is a descriptor on POSIX, a HANDLE on Windows; -1 is none.

#include <cstddef>
#include <string>

namespace durable_log_os {

// The log opened for appending, made when missing; -1 with the system's reason in *error.
long long OpenForAppend(const std::string& path, std::string* error);
void Close(long long handle);

// Appends size bytes at data under the log's exclusive lock and makes them durable; when a write
// falls short or fails, cuts the file back to its size before. False when anything failed, with
// the system's reason in *error unless error is null: the interrupt handler passes null, and then
// nothing but system calls that a signal handler may make is used.
bool AppendWhole(long long handle, const char* data, size_t size, std::string* error);

// A pause of about a millisecond, allowed in an interrupt handler.
void Nap();

} // namespace durable_log_os
