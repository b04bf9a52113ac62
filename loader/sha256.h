#pragma once
// The SHA-256 digest of a file's bytes, for the record of a load: which image went into a board.
// Written here rather than taken from a library: it is one small, fixed algorithm (FIPS 180-4),
// and the loader needs no cryptographic library for anything else.

#include <cstddef>
#include <string>

// The digest of size bytes at data, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const void* data, size_t size);
