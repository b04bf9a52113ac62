#pragma once
// Text as the wide ("W") calls of Windows take it. The program's strings are in the ANSI code
// page, as the dialog's edit boxes and the command line give them.

#include <string>

std::wstring Widen(const std::string& text);
