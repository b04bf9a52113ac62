#pragma once
// The program's icon: a chip with an arrow going into it (firmware going onto the unit).

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

// The icon at 16 x 16 and 32 x 32 pixels, for the title bar and the task switcher.
wxIconBundle TovikIcons();

// The icon at any size: 16 and 32 are drawn pixel by pixel, other sizes are scaled from one of
// them (down from the larger where possible).
wxBitmap TovikIconBitmap(int size);
