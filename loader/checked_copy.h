#pragma once
// A file read into memory and checked, as every front end does before a run: the read is screened
// as it goes, so that what cannot be an S-record file (/dev/zero, a binary image, a device's worth
// of padding) is refused at its first bad line rather than read whole first.

#include "loader/file_check.h"
#include "loader/file_copy.h"

#include <cstdio>
#include <string>

// Reads stream into copy (name: the file's name for messages) and checks it into check, telling
// each block to onBlock. 0 when the file can be loaded: the copy holds all of it. Otherwise the
// sentence a person is shown is in *message: why the file could not be read, or
// FileCheckMessage(*check).
int ReadCheckedStream(FILE* stream, const std::string& name, CFileCopy* copy, CFileCheck* check,
                      std::string* message, const BlockListener& onBlock = nullptr);

// The same for a path, opened as CFileCopy::ReadPath opens it ("-": standard input).
int ReadCheckedPath(const std::string& path, CFileCopy* copy, CFileCheck* check,
                    std::string* message, const BlockListener& onBlock = nullptr);
