#pragma once
// A picture as the program draws it: one palette index a pixel, rows from the top, and the
// palette they index. Plain data, so that the toolkit window and the Windows encoders each turn
// the same drawing into what they need.

#include <cstddef>
#include <cstdint>
#include <vector>

struct CRgba {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 255; // 0: the background shows through; 255: opaque

    bool operator==(const CRgba& other) const {
        return r == other.r && g == other.g && b == other.b && a == other.a;
    }
    bool operator!=(const CRgba& other) const { return !(*this == other); }
};

struct CPixelImage {
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<CRgba> m_palette;
    std::vector<uint8_t> m_pixels; // m_nWidth * m_nHeight indexes into m_palette

    uint8_t At(int x, int y) const { return m_pixels[size_t(y) * size_t(m_nWidth) + size_t(x)]; }
    CRgba ColourAt(int x, int y) const { return m_palette[At(x, y)]; }
};

// colour laid over background by its alpha; the result is opaque.
CRgba OverBackground(CRgba colour, CRgba background);

// The palette with every entry laid over background, for formats without transparency.
std::vector<CRgba> FlattenPalette(const std::vector<CRgba>& palette, CRgba background);
