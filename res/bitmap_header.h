#pragma once
// The 40-byte header of a device-independent bitmap and its colour table, as icons and video
// streams carry them.

#include "res/pixel_image.h"

#include <cstdint>
#include <vector>

constexpr uint32_t kBitmapHeaderBytes = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;

struct CBitmapHeader {
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0; // positive: the rows are stored from the bottom up
    uint16_t m_nBitCount = 0;
    uint32_t m_nCompression = kBiRgb;
    uint32_t m_nSizeImage = 0;
    uint32_t m_nColoursUsed = 0; // 0: as many as the bit count allows
};

// Appends the header (one plane, no resolution, every colour important).
void PutBitmapHeader(std::vector<uint8_t>* out, const CBitmapHeader& header);

// Appends entries colour table entries (blue, green, red, 0): those of palette, black for the
// rest. A transparent colour is written black.
void PutColourTable(std::vector<uint8_t>* out, const std::vector<CRgba>& palette, int entries);
