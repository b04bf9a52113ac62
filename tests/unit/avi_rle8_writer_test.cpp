// The animation clip read back as a RIFF tree: sizes that add up, the headers an animation
// control reads, one video stream, every frame's chunk decoding to the drawing, and an index
// that points at those chunks.

#include "picture_file_reader.h"
#include "res/avi_rle8_writer.h"
#include "res/search_animation_frames.h"
#include "res/windows_pictures.h"

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

struct SearchClip : ::testing::Test {
    std::vector<CPixelImage> frames = SearchAnimationFrames();
    Bytes file;
    std::vector<Chunk> top;

    void SetUp() override {
        file = SearchAviFile();
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

TEST_F(SearchClip, IsOneRiffAviWithOneSilentRle8StreamOfTheDrawing) {
    EXPECT_EQ(Riff().id, "RIFF");
    EXPECT_EQ(Riff().type, "AVI ");
    EXPECT_EQ(Riff().size + 8, file.size());
    // hdrl, movi and idx1, in the order a player reads them.
    ASSERT_EQ(Riff().children.size(), 3u);
    EXPECT_EQ(Riff().children[0].type, "hdrl");
    EXPECT_EQ(Riff().children[1].type, "movi");
    EXPECT_EQ(Riff().children[2].id, "idx1");
    const Chunk& hdrl = List(Riff(), "hdrl");
    ASSERT_EQ(hdrl.children.size(), 2u); // avih and one stream list: no sound
    const Chunk& strl = List(hdrl, "strl");
    ASSERT_EQ(strl.children.size(), 2u);
    size_t a = One(hdrl, "avih").data, s = One(strl, "strh").data, b = One(strl, "strf").data;
    ASSERT_EQ(One(strl, "strf").size, 40u + 256 * 4); // bitmap header and colour table
    EXPECT_EQ(FourCcAt(file, s), "vids");
    EXPECT_EQ(FourCcAt(file, s + 4), "RLE ");
    // Frames, width and height in the main header, the stream's length and its bitmap header;
    // 8 bits a pixel, BI_RLE8.
    const uint32_t n = static_cast<uint32_t>(frames.size());
    const uint32_t w = static_cast<uint32_t>(frames[0].m_nWidth);
    const uint32_t h = static_cast<uint32_t>(frames[0].m_nHeight);
    EXPECT_EQ((std::vector<uint32_t>{U32At(file, a + 16), U32At(file, a + 32), U32At(file, a + 36),
                                     U32At(file, s + 32), U32At(file, b + 4), U32At(file, b + 8),
                                     U16At(file, b + 14), U32At(file, b + 16)}),
              (std::vector<uint32_t>{n, w, h, n, w, h, 8, 1}));
    EXPECT_EQ(U32At(file, a + 12) & 0x10, 0x10u); // has an index
    // Players read whole frames into buffers of these sizes.
    EXPECT_GE(U32At(file, a + 28), LargestFrame());
    EXPECT_GE(U32At(file, s + 36), LargestFrame());
    EXPECT_GE(U32At(file, b + 20), LargestFrame());
    std::vector<CRgba> palette = FlattenPalette(SearchAnimationPalette(), kWindowsDialogFace);
    for (size_t i = 0; i < 256; ++i) {
        CRgba c = i < palette.size() ? palette[i] : CRgba{0, 0, 0};
        EXPECT_EQ(U32At(file, b + 40 + 4 * i), uint32_t(c.b | c.g << 8 | c.r << 16)) << i;
    }
}

// Every frame a chunk decoding to the drawing, which the index names as a key frame.
TEST_F(SearchClip, EveryFrameIsAKeyFrameChunkDecodingToTheDrawing) {
    const Chunk& movi = List(Riff(), "movi");
    auto chunks = Named(movi.children, "00dc");
    ASSERT_EQ(chunks.size(), frames.size());
    EXPECT_EQ(movi.children.size(), frames.size());
    const Chunk& idx1 = One(Riff(), "idx1");
    ASSERT_EQ(idx1.size, 16u * chunks.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        Bytes code(file.begin() + chunks[i]->data,
                   file.begin() + chunks[i]->data + chunks[i]->size);
        std::string fault;
        EXPECT_EQ(DecodeRle8(code, 80, 48, &fault), frames[i].m_pixels)
            << "frame " << i << ": " << fault;
        EXPECT_LT(code.size(), frames[i].m_pixels.size() / 2) << "frame " << i << " barely packed";
        size_t e = idx1.data + 16 * i;
        EXPECT_EQ(FourCcAt(file, e), "00dc") << i;
        EXPECT_EQ(U32At(file, e + 4), 0x10u) << i;                         // key frame
        EXPECT_EQ(U32At(file, e + 8), chunks[i]->at - (movi.at + 8)) << i; // from the list's type
        EXPECT_EQ(U32At(file, e + 12), chunks[i]->size) << i;
    }
}

} // namespace
