#pragma once
// Silent video files (.avi) of 8-bit run-length encoded frames, the kind an animation control
// plays.
//
// One video stream ('vids', handler 'RLE '), its format a bitmap header with BI_RLE8 and a
// 256-entry colour table; every frame a chunk '00dc' of its own, each a key frame (the run-length
// code of the whole picture); an index 'idx1' of the chunks at the end.

#include "res/pixel_image.h"

#include <cstdint>
#include <vector>

// Results of EncodeAviRle8.
constexpr int kAviOk = 0;
// No frames, or frames of different sizes or palettes, a palette of more than 256 entries or a
// pixel outside it. Nothing is written.
constexpr int kAviBadFrames = 1;

// Replaces *out with the video of frames, shown microSecPerFrame apart. The file has no alpha:
// the palette's colours are laid over background.
int EncodeAviRle8(const std::vector<CPixelImage>& frames, uint32_t microSecPerFrame,
                  CRgba background, std::vector<uint8_t>* out);
