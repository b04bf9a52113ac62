#pragma once
// Windows icon files (.ico) of 16-colour images.
//
// Each image is stored as a bitmap of 4 bits a pixel with its 16-entry colour table, followed
// by a 1-bit mask: a set bit shows the screen, a clear one the pixel. The colour table's
// transparent entries are written black, so that a masked pixel leaves the screen as it is.

#include "res/pixel_image.h"

#include <cstdint>
#include <vector>

// Results of EncodeIco.
constexpr int kIcoOk = 0;
// An image is not 1 to 256 pixels wide and high, has more than 16 palette entries, a pixel
// outside its palette, or a colour neither opaque nor fully transparent. Nothing is written.
constexpr int kIcoBadImage = 1;
// No images at all, or more than the directory can count.
constexpr int kIcoBadCount = 2;

// Replaces *out with the icon file of images, in the order given.
int EncodeIco(const std::vector<CPixelImage>& images, std::vector<uint8_t>* out);
