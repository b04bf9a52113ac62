#pragma once
// Where the profile lives and how it is replaced on disk; one source file per platform, and
// config_files.cpp for what is the same on both.

#include <filesystem>
#include <string>

// The per-user directory for application settings (without the program's own subdirectory);
// empty when neither the environment nor (on POSIX) the password database names a home.
std::string ConfigDirectory();

// The path as this platform's file system calls take it: on Windows widened from the ANSI code
// page the program's strings are in; elsewhere as it is.
std::filesystem::path NativePath(const std::string& path);

// Makes the folders above path that are missing. False, with the system's reason in *error,
// when one cannot be made (a file where a folder should be, no permission).
bool MakeParentDirectories(const std::string& path, std::string* error);

// Replaces the file at path with text, all at once: readers see either the old file or the
// whole new one, which keeps the old one's permissions (on POSIX a symbolic link stays, and the
// file it names is replaced). Creates missing directories. False on any failure, with the
// system's reason in *error (the old file stays).
bool ReplaceFileContents(const std::string& path, const std::string& text, std::string* error);
