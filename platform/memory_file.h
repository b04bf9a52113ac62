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
