#pragma once
// 8-bit run-length encoding of a device-independent bitmap (BI_RLE8).
//
// The rows are written from the bottom up, as such a bitmap stores them. A run of one colour is
// a count (1 to 255) and the colour; three or more pixels that do not repeat are a 0, their
// count and the pixels themselves, padded to an even length; 0 0 ends a row and 0 1 ends the
// bitmap (in place of the last row's end). Every pixel is written: nothing is skipped with a
// delta, so each frame stands alone.

#include <cstdint>
#include <vector>

// pixels holds height rows of width indexes, the top row first.
std::vector<uint8_t> EncodeRle8(const std::vector<uint8_t>& pixels, int width, int height);
