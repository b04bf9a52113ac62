#pragma once
// The file of a load, read once into memory and checked before anything is sent: a one-port load
// programs from this copy, and a load into several ports hands it to every child.

#include "loader/file_check.h"
#include "loader/file_copy.h"

#include <string>

// Reads path ("-": standard input) into copy and checks it into check, telling each block to
// onBlock. 0 when the file can be loaded; otherwise the person has been told why, and the result
// is the exit code for a bad file.
int ReadCheckedFile(const std::string& path, CFileCopy* copy, CFileCheck* check,
                    const BlockListener& onBlock = nullptr);
