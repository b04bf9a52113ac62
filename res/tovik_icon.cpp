#include "res/tovik_icon.h"

#include <cstring>

namespace {

// One character a pixel; its place in kIconKeys is its palette index.
const char kIconKeys[] = " kbhdpqmrGgl";

// Transparent, then: edge, body, body highlight, body shadow, pin, pin shadow, pin-1 mark, short
// pin, arrow edge, arrow, arrow highlight. The rest of the 16 entries is unused.
const CRgba kIconPalette[kIconColours] = {
    {0x00, 0x00, 0x00, 0x00}, {0x18, 0x20, 0x2B}, {0x32, 0x3E, 0x4D}, {0x4D, 0x5D, 0x72},
    {0x26, 0x2F, 0x3C},       {0xBC, 0xC4, 0xCD}, {0x6C, 0x77, 0x84}, {0x7C, 0x8A, 0x9B},
    {0x97, 0xA2, 0xAE},       {0x14, 0x5C, 0x33}, {0x2D, 0xAA, 0x55}, {0x93, 0xE6, 0xAB},
    {0x00, 0x00, 0x00},       {0x00, 0x00, 0x00}, {0x00, 0x00, 0x00}, {0x00, 0x00, 0x00},
};

// Green arrow, dark chip body, light pins, a mark by pin 1.
// clang-format off
const char kIcon32[32][33] = {
    "            GGGGGGGG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "            GlgggggG            ",
    "      GGGGGGggggggggGGGGGG      ",
    "     kkGlgggggggggggggggGkk     ",
    "     khhGlgggggggggggggGhhk     ",
    "     kbbbGlgggggggggggGbbbk     ",
    " ppppkbbbbGlgggggggggGbbbbkpppp ",
    " qqqqkbbbbbGlgggggggGbbbbbkqqqq ",
    "     kbbbbbbGlgggggGbbbbbbk     ",
    "     kbbbbbbbGlgggGbbbbbbbk     ",
    " ppppkbbbbbbbbGlgGbbbbbbbbkpppp ",
    " qqqqkbbbbbbbbbGGbbbbbbbbbkqqqq ",
    "     kbbbbbbbbbbbbbbbbbbbbk     ",
    "     kbbbbbbbbbbbbbbbbbbbbk     ",
    " ppppkbbbbbbbbbbbbbbbbbbbbkpppp ",
    " qqqqkbbbbbbbbbbbbbbbbbbbbkqqqq ",
    "     kbbbbbbbbbbbbbbbbbbbbk     ",
    "     kbbbbbbbbbbbbbbbbbbbbk     ",
    " ppppkbbmmbbbbbbbbbbbbbbbbkpppp ",
    " qqqqkddmmddddddddddddddddkqqqq ",
    "     kddddddddddddddddddddk     ",
    "     kddddddddddddddddddddk     ",
    "     kkkkkkkkkkkkkkkkkkkkkk     ",
    "                                ",
};

const char kIcon16[16][17] = {
    "      GGGG      ",
    "      GlgG      ",
    "      GlgG      ",
    "      GlgG      ",
    "  GGGGglggGGGG  ",
    "   GggggggggG   ",
    "  kkGggggggGkk  ",
    "  khhGggggGhhk  ",
    "rrkbbbGggGbbbkrr",
    "  kbbbbGGbbbbk  ",
    "  kbbbbbbbbbbk  ",
    "rrkbbbbbbbbbbkrr",
    "  kbbbbbbbbbbk  ",
    "  kbmbbbbbbbbk  ",
    "rrkbbbbbbbbbbkrr",
    "  kkkkkkkkkkkk  ",
};
// clang-format on

template <int kSize> CPixelImage FromRows(const char (&rows)[kSize][kSize + 1]) {
    CPixelImage image;
    image.m_nWidth = kSize;
    image.m_nHeight = kSize;
    image.m_palette.assign(kIconPalette, kIconPalette + kIconColours);
    image.m_pixels.reserve(size_t(kSize) * kSize);
    for (const char* row : rows) {
        for (int x = 0; x < kSize; ++x) {
            // An unknown character (or the end of a short row) is left transparent.
            const char* key = row[x] ? std::strchr(kIconKeys, row[x]) : nullptr;
            image.m_pixels.push_back(static_cast<uint8_t>(key ? key - kIconKeys : 0));
        }
    }
    return image;
}

} // namespace

std::vector<CPixelImage> TovikIconImages() {
    return {FromRows(kIcon32), FromRows(kIcon16)};
}
