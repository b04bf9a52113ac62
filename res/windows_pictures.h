#pragma once
// The Windows program's icon and search clip as the files its resource script takes, encoded
// from the same drawings the desktop dialog shows.

#include "res/pixel_image.h"

#include <cstdint>
#include <vector>

// The face colour of Windows dialogs, which an animation control shows behind a clip without
// transparency. The clip's background is palette entry 0 and its top left pixel, so a control
// with ACS_TRANSPARENT would swap it for the dialog's own colour instead.
constexpr CRgba kWindowsDialogFace{0xF0, 0xF0, 0xF0, 0xFF};

// tovik.ico: the icon at 32 x 32 and 16 x 16 pixels, 16 colours. Empty if it cannot be encoded.
std::vector<uint8_t> TovikIcoFile();

// search.avi: the search animation, 8-bit run-length encoded, on kWindowsDialogFace. Empty if it
// cannot be encoded.
std::vector<uint8_t> SearchAviFile();
