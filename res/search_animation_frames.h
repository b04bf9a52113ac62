#pragma once
// Shown while the loader looks for the unit: a magnifier sweeping to and fro over a row of chip
// pins, the pin under it lighting up. One loop is one left-right-left sweep.

#include "res/pixel_image.h"

#include <vector>

constexpr int kSearchFrames = 29;
constexpr int kSearchFrameWidth = 80;
constexpr int kSearchFrameHeight = 48;
constexpr int kSearchFrameMicroseconds = 166666; // 6 frames a second

// Every frame uses this palette. Entry 0 is the background, fully transparent; the glass over
// the background is partly transparent; every other entry is opaque. It has fewer than 256
// entries, so a frame can be stored with 8 bits a pixel.
std::vector<CRgba> SearchAnimationPalette();

// Frame n (taken modulo kSearchFrames), kSearchFrameWidth x kSearchFrameHeight pixels.
CPixelImage SearchAnimationFrame(int frame);

// All kSearchFrames frames in playing order.
std::vector<CPixelImage> SearchAnimationFrames();
