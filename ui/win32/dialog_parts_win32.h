#pragma once
// The Win32 dialog's fixed contents and small computations, apart from any window so that tests
// can check them without a window server.

#include <string>

// Where the search animation plays during a run, in pixels of the dialog's client area.
constexpr int kAnimationX = 220, kAnimationY = 140, kAnimationWidth = 60, kAnimationHeight = 20;

// The chooser's filter in the common dialog's form (description and pattern, each ended by a
// zero, the list ended by one more) from the "description|pattern|...||" form.
std::string ChooserFilter(const std::string& barSeparated);

// The application's name from the program file's path: its base name without the extension.
std::string ProgramBaseName(const std::string& modulePath);
