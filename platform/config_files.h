#pragma once
// Where the profile lives and how it is replaced on disk; one source file per platform.

#include <string>

// The per-user directory for application settings (without the program's own subdirectory);
// empty when the environment names none.
std::string ConfigDirectory();

// Replaces the file at path with text, all at once: readers see either the old file or the
// whole new one. Creates missing directories. False on any failure (the old file stays).
bool ReplaceFileContents(const std::string& path, const std::string& text);
