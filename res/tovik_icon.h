#pragma once
// The program's icon: a chip with an arrow going into it (firmware going onto the unit).

#include "res/pixel_image.h"

#include <vector>

// The icon's palette has this many entries, so that it can be stored with 4 bits a pixel; entry
// 0 is transparent.
constexpr int kIconColours = 16;

// The icon at 32 x 32 and then at 16 x 16 pixels, each drawn pixel by pixel rather than scaled,
// so that the small one stays sharp. Both use the same palette.
std::vector<CPixelImage> TovikIconImages();
