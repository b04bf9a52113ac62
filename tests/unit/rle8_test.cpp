// The run-length code of 8-bit bitmaps through a strict decoder's round trip: row and bitmap ends,
// padded literals, no literal too short to tell from a marker, long runs and long literals (the
// real animation frames are decoded from the clip in avi_rle8_writer_test.cpp, which also asks
// that they are packed).

#include "picture_file_reader.h"
#include "res/rle8.h"

#include <gtest/gtest.h>

namespace {

Bytes Pattern(int width, int height, uint8_t (*pixel)(int x, int y)) {
    Bytes pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back(pixel(x, y));
        }
    }
    return pixels;
}

TEST(Rle8, DecodesToThePixelsItWasGiven) {
    struct Case {
        const char* name;
        int width;
        int height;
        Bytes pixels;
    } cases[] = {
        {"run longer than 255", 600, 2, Pattern(600, 2, [](int, int y) { return uint8_t(y); })},
        {"run of exactly 255 and 256", 511, 1,
         Pattern(511, 1, [](int x, int) { return uint8_t(x < 255 ? 1 : 2); })},
        {"literal longer than 255", 700, 1,
         Pattern(700, 1, [](int x, int) { return uint8_t(x * 7); })},
        {"odd literals on every row", 7, 5,
         Pattern(7, 5, [](int x, int y) { return uint8_t(x + y); })},
        {"pairs and singles mixed", 41, 3,
         Pattern(41, 3,
                 [](int x, int y) { return uint8_t((x / 2 + y) % 3 + (x % 5 == 0 ? 100 : 0)); })},
        {"one pixel", 1, 1, {42}},
        {"two odd pixels", 2, 1, {1, 2}},
        {"short stretch before a run", 5, 1, {1, 2, 9, 9, 9}},
        {"pair inside a literal, then a run", 8, 1, {1, 2, 2, 3, 4, 7, 7, 7}},
        {"bottom row first", 1, 3, {7, 8, 9}},
        {"index 0 and 255", 6, 1, {0, 255, 0, 0, 0, 255}},
    };
    for (const Case& c : cases) {
        std::string fault;
        Bytes code = EncodeRle8(c.pixels, c.width, c.height);
        EXPECT_EQ(DecodeRle8(code, c.width, c.height, &fault), c.pixels) << c.name << ": " << fault;
        EXPECT_EQ(code.size() % 2, 0u) << c.name;
    }
}

} // namespace
