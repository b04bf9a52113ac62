#include "res/bitmap_header.h"

#include "res/byte_writer.h"

#include <cstddef>

void PutBitmapHeader(std::vector<uint8_t>* out, const CBitmapHeader& header) {
    PutU32(out, kBitmapHeaderBytes);
    PutU32(out, static_cast<uint32_t>(header.m_nWidth));
    PutU32(out, static_cast<uint32_t>(header.m_nHeight));
    PutU16(out, 1); // planes
    PutU16(out, header.m_nBitCount);
    PutU32(out, header.m_nCompression);
    PutU32(out, header.m_nSizeImage);
    PutU32(out, 0); // pixels per metre, across
    PutU32(out, 0); // and down
    PutU32(out, header.m_nColoursUsed);
    PutU32(out, 0); // all colours important
}

void PutColourTable(std::vector<uint8_t>* out, const std::vector<CRgba>& palette, int entries) {
    for (int i = 0; i < entries; ++i) {
        CRgba colour;
        if (size_t(i) < palette.size() && palette[i].a != 0) {
            colour = palette[i];
        }
        PutU8(out, colour.b);
        PutU8(out, colour.g);
        PutU8(out, colour.r);
        PutU8(out, 0);
    }
}
