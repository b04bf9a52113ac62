#pragma once
// Bytes through a file descriptor (the virtual device's end of its pseudo-terminal) for code that
// must not call the operating system itself. One source per platform that has descriptors
// (fd_io_posix.cpp). Nothing here throws; failures are -1 or false.

#include <atomic>
#include <cstddef>
#include <cstdint>

// Waits up to timeoutMs (0: only looks) for bytes to read on fd. Also true when the descriptor has
// hung up or failed, which the next ReadSome() reports; false when the time ran out or a signal
// ended the wait.
bool WaitReadable(int fd, int timeoutMs);

// Reads up to `size` bytes that are there now, without waiting: the count read; 0 when there are
// none yet (or a signal came first); -1 when the descriptor has ended or failed.
long ReadSome(int fd, std::uint8_t* data, std::size_t size);

// Writes all `size` bytes, waiting for room while the descriptor takes none. False when a write
// failed, when patienceMs passed before all were taken, or when *cancel (if given, looked at every
// few milliseconds) became true first.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, int patienceMs,
              const std::atomic<bool>* cancel = nullptr);

// Closes fd once; nothing for a negative one.
void CloseFd(int fd);
