#include "res/ico_writer.h"

#include "res/bitmap_header.h"
#include "res/byte_writer.h"

#include <cstddef>

namespace {

constexpr int kColours = 16;
constexpr int kLargestSide = 256;
constexpr uint32_t kDirectoryBytes = 6;
constexpr uint32_t kEntryBytes = 16;

// Rows of a bitmap are padded to whole 32-bit words.
uint32_t RowBytes(int width, int bitsPerPixel) {
    return uint32_t((width * bitsPerPixel + 31) / 32 * 4);
}

bool Fits(const CPixelImage& image) {
    if (image.m_nWidth < 1 || image.m_nWidth > kLargestSide || image.m_nHeight < 1 ||
        image.m_nHeight > kLargestSide || image.m_palette.size() > size_t(kColours) ||
        image.m_pixels.size() != size_t(image.m_nWidth) * size_t(image.m_nHeight)) {
        return false;
    }
    for (const CRgba& colour : image.m_palette) {
        if (colour.a != 0 && colour.a != 255) {
            return false;
        }
    }
    for (uint8_t index : image.m_pixels) {
        if (index >= image.m_palette.size()) {
            return false;
        }
    }
    return true;
}

bool Transparent(const CPixelImage& image, int x, int y) {
    return image.ColourAt(x, y).a == 0;
}

uint32_t ImageBytes(const CPixelImage& image) {
    return kBitmapHeaderBytes + 4 * kColours +
           (RowBytes(image.m_nWidth, 4) + RowBytes(image.m_nWidth, 1)) * image.m_nHeight;
}

void PutImage(std::vector<uint8_t>* out, const CPixelImage& image) {
    CBitmapHeader header;
    header.m_nWidth = image.m_nWidth;
    header.m_nHeight = 2 * image.m_nHeight; // the colour bitmap and the mask, one above the other
    header.m_nBitCount = 4;
    header.m_nSizeImage =
        (RowBytes(image.m_nWidth, 4) + RowBytes(image.m_nWidth, 1)) * image.m_nHeight;
    PutBitmapHeader(out, header);
    PutColourTable(out, image.m_palette, kColours);
    for (int y = image.m_nHeight - 1; y >= 0; --y) {
        std::vector<uint8_t> row(RowBytes(image.m_nWidth, 4), 0);
        for (int x = 0; x < image.m_nWidth; ++x) {
            row[x / 2] |= static_cast<uint8_t>(image.At(x, y) << (x % 2 == 0 ? 4 : 0));
        }
        out->insert(out->end(), row.begin(), row.end());
    }
    for (int y = image.m_nHeight - 1; y >= 0; --y) {
        std::vector<uint8_t> row(RowBytes(image.m_nWidth, 1), 0);
        for (int x = 0; x < image.m_nWidth; ++x) {
            if (Transparent(image, x, y)) {
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        out->insert(out->end(), row.begin(), row.end());
    }
}

} // namespace

int EncodeIco(const std::vector<CPixelImage>& images, std::vector<uint8_t>* out) {
    if (images.empty() || images.size() > 0xFFFF) {
        return kIcoBadCount;
    }
    for (const CPixelImage& image : images) {
        if (!Fits(image)) {
            return kIcoBadImage;
        }
    }
    out->clear();
    PutU16(out, 0); // reserved
    PutU16(out, 1); // an icon, not a cursor
    PutU16(out, static_cast<unsigned>(images.size()));
    uint32_t offset = kDirectoryBytes + kEntryBytes * uint32_t(images.size());
    for (const CPixelImage& image : images) {
        // A side of 256 is written as 0.
        PutU8(out, image.m_nWidth % kLargestSide);
        PutU8(out, image.m_nHeight % kLargestSide);
        PutU8(out, kColours);
        PutU8(out, 0);  // reserved
        PutU16(out, 1); // planes
        PutU16(out, 4); // bits a pixel
        PutU32(out, ImageBytes(image));
        PutU32(out, offset);
        offset += ImageBytes(image);
    }
    for (const CPixelImage& image : images) {
        PutImage(out, image);
    }
    return kIcoOk;
}
