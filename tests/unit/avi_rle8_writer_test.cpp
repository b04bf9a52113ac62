// The animation clip read back as a RIFF tree: sizes that add up, the headers an animation
// control reads, one video stream, every frame's chunk decoding to the drawing, and an index
// that points at those chunks.

#include "picture_file_reader.h"
#include "res/avi_rle8_writer.h"
#include "res/search_animation_frames.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Chunk {
    std::string id;
    std::string type; // of a RIFF or LIST chunk
    size_t at;        // of its id
    size_t data;      // of its data (after the type, for a list)
    uint32_t size;    // as written: from the type on for a list
    std::vector<Chunk> children;
};

// The chunks of bytes[begin, end), which they must fill exactly, each padded to an even length.
std::vector<Chunk> ReadChunks(const Bytes& bytes, size_t begin, size_t end) {
    std::vector<Chunk> chunks;
    size_t at = begin;
    while (at < end) {
        EXPECT_LE(at + 8, end) << "chunk header at " << at;
        if (at + 8 > end) {
            break;
        }
        Chunk c{FourCcAt(bytes, at), "", at, at + 8, U32At(bytes, at + 4), {}};
        size_t next = at + 8 + c.size + c.size % 2;
        EXPECT_LE(next, end) << c.id << " at " << at << " runs past its parent";
        if (c.id == "RIFF" || c.id == "LIST") {
            c.type = FourCcAt(bytes, at + 8);
            c.data = at + 12;
            c.children = ReadChunks(bytes, c.data, std::min(at + 8 + c.size, end));
        }
        chunks.push_back(c);
        at = next;
    }
    EXPECT_EQ(at, end);
    return chunks;
}

std::vector<const Chunk*> Named(const std::vector<Chunk>& chunks, const std::string& id,
                                const std::string& type = "") {
    std::vector<const Chunk*> found;
    for (const Chunk& c : chunks) {
        if (c.id == id && c.type == type) {
            found.push_back(&c);
        }
    }
    return found;
}

const CRgba kFace{0xF0, 0xF0, 0xF0};

struct SearchClip : ::testing::Test {
    std::vector<CPixelImage> frames = SearchAnimationFrames();
    Bytes file;
    std::vector<Chunk> top;

    void SetUp() override {
        ASSERT_EQ(EncodeAviRle8(frames, kSearchFrameMicroseconds, kFace, &file), kAviOk);
        top = ReadChunks(file, 0, file.size());
        ASSERT_EQ(top.size(), 1u);
    }
    const Chunk& Riff() const { return top[0]; }
    const Chunk& List(const Chunk& parent, const std::string& type) const {
        auto lists = Named(parent.children, "LIST", type);
        EXPECT_EQ(lists.size(), 1u) << type;
        return *lists.at(0);
    }
    const Chunk& One(const Chunk& parent, const std::string& id) const {
        auto chunks = Named(parent.children, id);
        EXPECT_EQ(chunks.size(), 1u) << id;
        return *chunks.at(0);
    }
    uint32_t LargestFrame() const {
        uint32_t largest = 0;
        for (const Chunk* c : Named(List(Riff(), "movi").children, "00dc")) {
            largest = std::max(largest, c->size);
        }
        return largest;
    }
};

TEST_F(SearchClip, IsOneRiffAviWhoseSizesAddUp) {
    EXPECT_EQ(Riff().id, "RIFF");
    EXPECT_EQ(Riff().type, "AVI ");
    EXPECT_EQ(Riff().size + 8, file.size());
    // hdrl, movi and idx1, in the order a player reads them.
    ASSERT_EQ(Riff().children.size(), 3u);
    EXPECT_EQ(Riff().children[0].type, "hdrl");
    EXPECT_EQ(Riff().children[1].type, "movi");
    EXPECT_EQ(Riff().children[2].id, "idx1");
}

TEST_F(SearchClip, MainHeaderHas29FramesOf80By48At6AFrameASecond) {
    const Chunk& hdrl = List(Riff(), "hdrl");
    ASSERT_EQ(hdrl.children.size(), 2u); // avih and the one stream list: no sound
    const Chunk& avih = One(hdrl, "avih");
    ASSERT_EQ(avih.size, 56u);
    size_t a = avih.data;
    EXPECT_EQ(U32At(file, a), 166666u);           // microseconds a frame
    EXPECT_EQ(U32At(file, a + 12) & 0x10, 0x10u); // has an index
    EXPECT_EQ(U32At(file, a + 16), 29u);          // frames
    EXPECT_EQ(U32At(file, a + 20), 0u);           // initial frames
    EXPECT_EQ(U32At(file, a + 24), 1u);           // streams
    EXPECT_GE(U32At(file, a + 28), LargestFrame());
    EXPECT_EQ(U32At(file, a + 32), 80u);
    EXPECT_EQ(U32At(file, a + 36), 48u);
}

TEST_F(SearchClip, TheOnlyStreamIsRle8VideoWithTheFlattenedPalette) {
    const Chunk& strl = List(List(Riff(), "hdrl"), "strl");
    ASSERT_EQ(strl.children.size(), 2u);
    const Chunk& strh = One(strl, "strh");
    ASSERT_EQ(strh.size, 56u);
    size_t s = strh.data;
    EXPECT_EQ(FourCcAt(file, s), "vids");
    EXPECT_EQ(FourCcAt(file, s + 4), "RLE ");
    EXPECT_EQ(U32At(file, s + 20), 166666u);  // scale
    EXPECT_EQ(U32At(file, s + 24), 1000000u); // rate: rate / scale frames a second
    EXPECT_EQ(U32At(file, s + 32), 29u);      // length in frames
    EXPECT_GE(U32At(file, s + 36), LargestFrame());
    EXPECT_EQ(U16At(file, s + 52), 80u); // frame rectangle's right
    EXPECT_EQ(U16At(file, s + 54), 48u); // and bottom

    const Chunk& strf = One(strl, "strf");
    ASSERT_EQ(strf.size, 40u + 256 * 4);
    size_t b = strf.data;
    EXPECT_EQ(U32At(file, b), 40u);
    EXPECT_EQ(U32At(file, b + 4), 80u);
    EXPECT_EQ(U32At(file, b + 8), 48u); // positive: bottom row first
    EXPECT_EQ(U16At(file, b + 12), 1u);
    EXPECT_EQ(U16At(file, b + 14), 8u);
    EXPECT_EQ(U32At(file, b + 16), 1u); // BI_RLE8
    EXPECT_GE(U32At(file, b + 20), LargestFrame());
    EXPECT_EQ(U32At(file, b + 32), 256u);
    std::vector<CRgba> palette = FlattenPalette(SearchAnimationPalette(), kFace);
    for (size_t i = 0; i < 256; ++i) {
        CRgba c = i < palette.size() ? palette[i] : CRgba{0, 0, 0};
        EXPECT_EQ(U32At(file, b + 40 + 4 * i), uint32_t(c.b | c.g << 8 | c.r << 16)) << i;
    }
}

TEST_F(SearchClip, EveryFrameIsAChunkDecodingToTheDrawing) {
    auto chunks = Named(List(Riff(), "movi").children, "00dc");
    ASSERT_EQ(chunks.size(), frames.size());
    EXPECT_EQ(List(Riff(), "movi").children.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        Bytes code(file.begin() + chunks[i]->data,
                   file.begin() + chunks[i]->data + chunks[i]->size);
        std::string fault;
        EXPECT_EQ(DecodeRle8(code, 80, 48, &fault), frames[i].m_pixels)
            << "frame " << i << ": " << fault;
    }
}

TEST_F(SearchClip, IndexNamesEveryFrameChunkAsAKeyFrame) {
    const Chunk& movi = List(Riff(), "movi");
    auto chunks = Named(movi.children, "00dc");
    const Chunk& idx1 = One(Riff(), "idx1");
    ASSERT_EQ(idx1.size, 16u * chunks.size());
    size_t moviType = movi.at + 8; // offsets count from the list's type
    for (size_t i = 0; i < chunks.size(); ++i) {
        size_t e = idx1.data + 16 * i;
        EXPECT_EQ(FourCcAt(file, e), "00dc") << i;
        EXPECT_EQ(U32At(file, e + 4), 0x10u) << i; // key frame
        EXPECT_EQ(U32At(file, e + 8), chunks[i]->at - moviType) << i;
        EXPECT_EQ(U32At(file, e + 12), chunks[i]->size) << i;
    }
}

TEST_F(SearchClip, BackgroundIsTheTopLeftPixelAndNoDrawnColourMatchesIt) {
    // What lets a control with ACS_TRANSPARENT swap the background for the dialog's colour.
    std::vector<CRgba> palette = FlattenPalette(SearchAnimationPalette(), kFace);
    for (size_t i = 1; i < palette.size(); ++i) {
        EXPECT_NE(palette[i], palette[0]) << i;
    }
    for (const CPixelImage& frame : frames) {
        EXPECT_EQ(frame.At(0, 0), 0);
    }
}

TEST(AviRle8Writer, RefusesFramesThatCannotShareOneStreamAndWritesNothing) {
    CPixelImage frame;
    frame.m_nWidth = 2;
    frame.m_nHeight = 2;
    frame.m_palette = {{1, 2, 3}, {4, 5, 6}};
    frame.m_pixels = {0, 1, 1, 0};
    CPixelImage wider = frame;
    wider.m_nWidth = 4;
    wider.m_pixels.resize(8);
    CPixelImage otherPalette = frame;
    otherPalette.m_palette[1] = {9, 9, 9};
    CPixelImage outside = frame;
    outside.m_pixels[3] = 2;
    CPixelImage big = frame;
    big.m_palette.resize(257);
    struct Case {
        const char* name;
        std::vector<CPixelImage> frames;
    } cases[] = {
        {"no frames", {}},
        {"sizes differ", {frame, wider}},
        {"palettes differ", {frame, otherPalette}},
        {"pixel outside the palette", {frame, outside}},
        {"257 colours", {big}},
    };
    for (const Case& c : cases) {
        Bytes file{7};
        EXPECT_EQ(EncodeAviRle8(c.frames, 1000, kFace, &file), kAviBadFrames) << c.name;
        EXPECT_EQ(file, Bytes{7}) << c.name;
    }
}

} // namespace
