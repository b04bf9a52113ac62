#pragma once
// The program's pictures, drawn as plain pixels in res/, as the toolkit's bitmaps.

#include "res/pixel_image.h"

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/iconbndl.h>
#include <wx/image.h>

// The picture with an alpha channel: transparent where its colours are.
wxImage PictureImage(const CPixelImage& picture);

// The icon at 16 x 16 and 32 x 32 pixels, for the title bar and the task switcher.
wxIconBundle TovikIcons();

// Frame n of the search animation (taken modulo its frame count) on this background.
wxBitmap SearchFrameBitmap(int frame, const wxColour& background);
