// The icon file: its directory, each image's 16-colour bitmap header, and the colour bitmap and
// mask read back pixel by pixel against the drawing.

#include "picture_file_reader.h"
#include "res/ico_writer.h"
#include "res/tovik_icon.h"

#include <gtest/gtest.h>

namespace {

struct IconEntry {
    uint32_t width, height, bytes, offset;
};

IconEntry EntryAt(const Bytes& file, int index) {
    size_t at = 6 + 16 * size_t(index);
    return {file.at(at), file.at(at + 1), U32At(file, at + 8), U32At(file, at + 12)};
}

// The colour of pixel x, y of the image stored at offset, and whether its mask bit is set.
struct StoredPixel {
    uint32_t bgr;
    bool masked;
};

StoredPixel PixelAt(const Bytes& file, size_t offset, int width, int height, int x, int y) {
    size_t palette = offset + 40;
    size_t colourRows = palette + 16 * 4;
    size_t colourRowBytes = size_t((width * 4 + 31) / 32 * 4);
    size_t maskRows = colourRows + colourRowBytes * size_t(height);
    size_t maskRowBytes = size_t((width + 31) / 32 * 4);
    int row = height - 1 - y; // stored bottom row first
    uint8_t pair = file.at(colourRows + colourRowBytes * size_t(row) + size_t(x / 2));
    uint32_t index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
    uint8_t mask = file.at(maskRows + maskRowBytes * size_t(row) + size_t(x / 8));
    return {U32At(file, palette + 4 * index), (mask & (0x80 >> (x % 8))) != 0};
}

TEST(IcoWriter, TheProgramIconHasTwo16ColourImagesWithMasks) {
    std::vector<CPixelImage> images = TovikIconImages();
    Bytes file;
    ASSERT_EQ(EncodeIco(images, &file), kIcoOk);

    EXPECT_EQ(U16At(file, 2), 1u); // icon
    ASSERT_EQ(U16At(file, 4), 2u);
    // The fields Windows reads are checked by Windows itself (pictures_win32_test.cpp); here, the
    // sizes and places that the pixels below are read by: 40 header bytes, 16 colours, then rows
    // of 4-bit pixels and of mask bits in whole words, one image after the other.
    const uint32_t sides[] = {32, 16};
    const uint32_t sizes[] = {40 + 64 + 32 * 16 + 32 * 4, 40 + 64 + 16 * 8 + 16 * 4};
    uint32_t expectedOffset = 6 + 2 * 16;
    for (int i = 0; i < 2; ++i) {
        IconEntry e = EntryAt(file, i);
        EXPECT_EQ(std::vector<uint32_t>({e.width, e.height, e.bytes, e.offset}),
                  std::vector<uint32_t>({sides[i], sides[i], sizes[i], expectedOffset}));
        expectedOffset += e.bytes;
    }
    EXPECT_EQ(expectedOffset, file.size());

    for (int i = 0; i < 2; ++i) {
        const CPixelImage& image = images[i];
        IconEntry e = EntryAt(file, i);
        int transparent = 0;
        for (int y = 0; y < image.m_nHeight; ++y) {
            for (int x = 0; x < image.m_nWidth; ++x) {
                StoredPixel stored = PixelAt(file, e.offset, image.m_nWidth, image.m_nHeight, x, y);
                CRgba colour = image.ColourAt(x, y);
                uint32_t bgr =
                    colour.a == 0 ? 0 : uint32_t(colour.b | colour.g << 8 | colour.r << 16);
                ASSERT_EQ(stored.masked, colour.a == 0) << x << "," << y;
                // A masked pixel must be black, or it would colour the screen behind it.
                ASSERT_EQ(stored.bgr, bgr) << x << "," << y;
                transparent += colour.a == 0;
            }
        }
        EXPECT_GT(transparent, 0);
        EXPECT_LT(transparent, image.m_nWidth * image.m_nHeight);
    }
}

CPixelImage Plain(int width, int height, std::vector<CRgba> palette) {
    CPixelImage image;
    image.m_nWidth = width;
    image.m_nHeight = height;
    image.m_palette = std::move(palette);
    image.m_pixels.assign(size_t(width) * size_t(height), 0);
    return image;
}

TEST(IcoWriter, ASideOf256IsWrittenAsZero) {
    Bytes file;
    ASSERT_EQ(EncodeIco({Plain(256, 256, {{1, 2, 3}})}, &file), kIcoOk);
    EXPECT_EQ(EntryAt(file, 0).width, 0u);
    EXPECT_EQ(EntryAt(file, 0).height, 0u);
    EXPECT_EQ(U32At(file, EntryAt(file, 0).offset + 4), 256u);
}

TEST(IcoWriter, RefusesWhatA16ColourIconCannotHoldAndWritesNothing) {
    CPixelImage outside = Plain(8, 8, {{1, 2, 3}});
    outside.m_pixels[5] = 1;
    CPixelImage halfSeen = Plain(8, 8, {{1, 2, 3, 128}});
    CPixelImage fewPixels = Plain(8, 8, {{1, 2, 3}});
    fewPixels.m_pixels.pop_back();
    struct Case {
        const char* name;
        std::vector<CPixelImage> images;
        int result;
    } cases[] = {
        {"no image", {}, kIcoBadCount},
        {"17 colours", {Plain(8, 8, std::vector<CRgba>(17))}, kIcoBadImage},
        {"pixel outside the palette", {outside}, kIcoBadImage},
        {"half transparent", {halfSeen}, kIcoBadImage},
        {"wider than 256", {Plain(257, 8, {{1, 2, 3}})}, kIcoBadImage},
        {"pixels missing", {fewPixels}, kIcoBadImage},
        {"one bad among good", {Plain(8, 8, {{1, 2, 3}}), outside}, kIcoBadImage},
    };
    for (const Case& c : cases) {
        Bytes file{9, 9};
        EXPECT_EQ(EncodeIco(c.images, &file), c.result) << c.name;
        EXPECT_EQ(file, (Bytes{9, 9})) << c.name;
    }
}

} // namespace
