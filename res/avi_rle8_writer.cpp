#include "res/avi_rle8_writer.h"

#include "res/bitmap_header.h"
#include "res/byte_writer.h"
#include "res/rle8.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr int kColours = 256;
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyFrame = 0x10;
constexpr uint32_t kMicroSecPerSecond = 1000000;

bool Usable(const std::vector<CPixelImage>& frames) {
    if (frames.empty()) {
        return false;
    }
    const CPixelImage& first = frames.front();
    if (first.m_nWidth < 1 || first.m_nHeight < 1 || first.m_palette.size() > size_t(kColours)) {
        return false;
    }
    for (const CPixelImage& frame : frames) {
        if (frame.m_nWidth != first.m_nWidth || frame.m_nHeight != first.m_nHeight ||
            frame.m_palette != first.m_palette ||
            frame.m_pixels.size() != size_t(frame.m_nWidth) * size_t(frame.m_nHeight)) {
            return false;
        }
        for (uint8_t index : frame.m_pixels) {
            if (index >= frame.m_palette.size()) {
                return false;
            }
        }
    }
    return true;
}

// Starts a chunk; returns where its size goes, for EndChunk.
size_t BeginChunk(std::vector<uint8_t>* out, const char (&id)[5]) {
    PutFourCc(out, id);
    size_t sizeAt = out->size();
    PutU32(out, 0);
    return sizeAt;
}

// A list is a chunk whose data begins with the list's type.
size_t BeginList(std::vector<uint8_t>* out, const char (&id)[5], const char (&type)[5]) {
    size_t sizeAt = BeginChunk(out, id);
    PutFourCc(out, type);
    return sizeAt;
}

// Writes the size of the chunk begun at sizeAt (its padding not counted) and pads it to an even
// length, as every chunk starts on a 16-bit boundary.
void EndChunk(std::vector<uint8_t>* out, size_t sizeAt) {
    SetU32(out, sizeAt, static_cast<uint32_t>(out->size() - sizeAt - 4));
    if (out->size() % 2 != 0) {
        PutU8(out, 0);
    }
}

struct CStreamFacts {
    int m_nWidth;
    int m_nHeight;
    uint32_t m_nFrames;
    uint32_t m_nMicroSecPerFrame;
    uint32_t m_nLargestFrame;
};

void PutMainHeader(std::vector<uint8_t>* out, const CStreamFacts& facts) {
    size_t avih = BeginChunk(out, "avih");
    PutU32(out, facts.m_nMicroSecPerFrame);
    uint64_t bytesPerSecond = uint64_t(facts.m_nLargestFrame) * kMicroSecPerSecond /
                              std::max<uint32_t>(facts.m_nMicroSecPerFrame, 1);
    PutU32(out, static_cast<uint32_t>(bytesPerSecond));
    PutU32(out, 0); // padding granularity
    PutU32(out, kAvifHasIndex);
    PutU32(out, facts.m_nFrames);
    PutU32(out, 0); // initial frames
    PutU32(out, 1); // streams
    PutU32(out, facts.m_nLargestFrame);
    PutU32(out, static_cast<uint32_t>(facts.m_nWidth));
    PutU32(out, static_cast<uint32_t>(facts.m_nHeight));
    for (int i = 0; i < 4; ++i) {
        PutU32(out, 0); // reserved
    }
    EndChunk(out, avih);
}

void PutStreamHeader(std::vector<uint8_t>* out, const CStreamFacts& facts) {
    size_t strh = BeginChunk(out, "strh");
    PutFourCc(out, "vids");
    PutFourCc(out, "RLE ");
    PutU32(out, 0); // flags
    PutU16(out, 0); // priority
    PutU16(out, 0); // language
    PutU32(out, 0); // initial frames
    // The rate is kMicroSecPerSecond / microSecPerFrame frames a second.
    PutU32(out, facts.m_nMicroSecPerFrame);
    PutU32(out, kMicroSecPerSecond);
    PutU32(out, 0); // start
    PutU32(out, facts.m_nFrames);
    PutU32(out, facts.m_nLargestFrame);
    PutU32(out, 0xFFFFFFFF); // default quality
    PutU32(out, 0);          // sample size: frames vary in size
    PutU16(out, 0);          // frame rectangle: left, top, right, bottom
    PutU16(out, 0);
    PutU16(out, static_cast<unsigned>(facts.m_nWidth));
    PutU16(out, static_cast<unsigned>(facts.m_nHeight));
    EndChunk(out, strh);
}

void PutStreamFormat(std::vector<uint8_t>* out, const CStreamFacts& facts,
                     const std::vector<CRgba>& palette) {
    size_t strf = BeginChunk(out, "strf");
    CBitmapHeader header;
    header.m_nWidth = facts.m_nWidth;
    header.m_nHeight = facts.m_nHeight;
    header.m_nBitCount = 8;
    header.m_nCompression = kBiRle8;
    // A run-length coded bitmap is decoded up to this many bytes: the largest frame.
    header.m_nSizeImage = facts.m_nLargestFrame;
    header.m_nColoursUsed = kColours;
    PutBitmapHeader(out, header);
    PutColourTable(out, palette, kColours);
    EndChunk(out, strf);
}

} // namespace

int EncodeAviRle8(const std::vector<CPixelImage>& frames, uint32_t microSecPerFrame,
                  CRgba background, std::vector<uint8_t>* out) {
    if (!Usable(frames)) {
        return kAviBadFrames;
    }
    std::vector<std::vector<uint8_t>> coded;
    uint32_t largest = 0;
    for (const CPixelImage& frame : frames) {
        coded.push_back(EncodeRle8(frame.m_pixels, frame.m_nWidth, frame.m_nHeight));
        largest = std::max(largest, static_cast<uint32_t>(coded.back().size()));
    }
    CStreamFacts facts{frames.front().m_nWidth, frames.front().m_nHeight,
                       static_cast<uint32_t>(frames.size()), microSecPerFrame, largest};

    out->clear();
    size_t riff = BeginList(out, "RIFF", "AVI ");
    size_t hdrl = BeginList(out, "LIST", "hdrl");
    PutMainHeader(out, facts);
    size_t strl = BeginList(out, "LIST", "strl");
    PutStreamHeader(out, facts);
    PutStreamFormat(out, facts, FlattenPalette(frames.front().m_palette, background));
    EndChunk(out, strl);
    EndChunk(out, hdrl);

    size_t movi = BeginList(out, "LIST", "movi");
    // Index offsets count from the list's type, 'movi'.
    size_t moviType = movi + 4;
    std::vector<uint32_t> offsets;
    for (const std::vector<uint8_t>& frame : coded) {
        offsets.push_back(static_cast<uint32_t>(out->size() - moviType));
        size_t chunk = BeginChunk(out, "00dc");
        out->insert(out->end(), frame.begin(), frame.end());
        EndChunk(out, chunk);
    }
    EndChunk(out, movi);

    size_t idx1 = BeginChunk(out, "idx1");
    for (size_t i = 0; i < coded.size(); ++i) {
        PutFourCc(out, "00dc");
        PutU32(out, kAviifKeyFrame);
        PutU32(out, offsets[i]);
        PutU32(out, static_cast<uint32_t>(coded[i].size()));
    }
    EndChunk(out, idx1);
    EndChunk(out, riff);
    return kAviOk;
}
