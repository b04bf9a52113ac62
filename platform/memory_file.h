#pragma once
// A read-only C stream over bytes held in memory, so that code written against FILE* (fgets,
// fseek, rewind) reads a copy that no other program can change under it.

#include <cstddef>
#include <cstdio>
#include <string>

// Opens a stream that reads exactly size bytes from data, in binary (no line-end translation),
// from the beginning; it can be rewound and read again. Close it with fclose. On POSIX the stream
// reads data itself, which must stay valid and unchanged until it is closed; on Windows it reads a
// temporary copy that the system deletes when the stream is closed (or the process ends). Returns
// nullptr, with the reason in *error, when the stream cannot be made.
FILE* OpenMemoryFile(const char* data, size_t size, std::string* error);

// Memory for the bytes of a whole file, read once. Resizes buffer (nullptr: a new one) to
// capacity bytes, keeping its contents, and returns it; nullptr when the memory is not there, the
// old buffer staying valid then. Large buffers are mapped in large pages where the system offers
// them, so that reading a file of many megabytes costs a few dozen page faults instead of one for
// every 4 KiB.
char* ResizeFileBuffer(char* buffer, size_t capacity);
void FreeFileBuffer(char* buffer);
