#pragma once
// How many columns the terminal behind a stream has, so that a display of several lines redrawn
// in place never wraps (a wrapped line would throw off the cursor moves). One source file per
// platform.

#include <cstdio>

// The columns of the terminal (console window) stream writes to; 80 when it cannot be told.
int TerminalColumns(std::FILE* stream);
