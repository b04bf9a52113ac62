#include "res/rle8.h"

#include "res/byte_writer.h"

#include <cstddef>

namespace {

constexpr int kLongestRun = 255;
// Shorter stretches cannot be written literally: 0 1 and 0 2 are the end of the bitmap and a
// delta.
constexpr int kShortestLiteral = 3;

int RunLength(const uint8_t* row, int from, int width) {
    int end = from + 1;
    while (end < width && end - from < kLongestRun && row[end] == row[from]) {
        ++end;
    }
    return end - from;
}

void PutRuns(std::vector<uint8_t>* out, const uint8_t* row, int from, int to) {
    while (from < to) {
        int run = RunLength(row, from, to);
        PutU8(out, run);
        PutU8(out, row[from]);
        from += run;
    }
}

void EncodeRow(std::vector<uint8_t>* out, const uint8_t* row, int width) {
    int x = 0;
    while (x < width) {
        if (RunLength(row, x, width) >= kShortestLiteral) {
            int run = RunLength(row, x, width);
            PutRuns(out, row, x, x + run);
            x += run;
            continue;
        }
        // A stretch without runs worth their two bytes, up to where one begins.
        int end = x;
        while (end < width && end - x < kLongestRun &&
               RunLength(row, end, width) < kShortestLiteral) {
            ++end;
        }
        int count = end - x;
        if (count < kShortestLiteral) {
            PutRuns(out, row, x, end);
        } else {
            PutU8(out, 0);
            PutU8(out, count);
            out->insert(out->end(), row + x, row + end);
            if (count % 2 != 0) {
                PutU8(out, 0); // each literal ends on a 16-bit boundary
            }
        }
        x = end;
    }
}

} // namespace

std::vector<uint8_t> EncodeRle8(const std::vector<uint8_t>& pixels, int width, int height) {
    std::vector<uint8_t> out;
    for (int y = height - 1; y >= 0; --y) {
        EncodeRow(&out, pixels.data() + size_t(y) * size_t(width), width);
        PutU8(&out, 0);
        PutU8(&out, y == 0 ? 1 : 0);
    }
    if (height <= 0) {
        PutU8(&out, 0);
        PutU8(&out, 1);
    }
    return out;
}
