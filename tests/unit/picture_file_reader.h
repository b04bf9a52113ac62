#pragma once
// Reading back what the picture encoders write, written from the file formats' rules rather
// than from the encoders, so that a test compares the two.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline uint32_t U16At(const Bytes& bytes, size_t at) {
    return uint32_t(bytes.at(at)) | uint32_t(bytes.at(at + 1)) << 8;
}

inline uint32_t U32At(const Bytes& bytes, size_t at) {
    return U16At(bytes, at) | U16At(bytes, at + 2) << 16;
}

inline std::string FourCcAt(const Bytes& bytes, size_t at) {
    return std::string(bytes.begin() + at, bytes.begin() + at + 4);
}

// Decodes a BI_RLE8 bitmap strictly: every row written whole and ended by 0 0 (the last by 0 1
// instead), literals of 3 or more pixels padded with a zero to an even length, no deltas and
// nothing after the end. Returns the rows top first, or an empty vector and the fault in *fault.
inline Bytes DecodeRle8(const Bytes& code, int width, int height, std::string* fault) {
    Bytes pixels(size_t(width) * size_t(height));
    auto fail = [&](const std::string& what, size_t at) {
        *fault = what + " at byte " + std::to_string(at);
        return Bytes{};
    };
    size_t at = 0;
    int x = 0, y = height - 1; // the first row stored is the bottom one
    auto put = [&](uint8_t index) {
        if (y < 0 || x >= width) {
            return false;
        }
        pixels[size_t(y) * size_t(width) + size_t(x++)] = index;
        return true;
    };
    while (at + 1 < code.size()) {
        uint8_t count = code[at], value = code[at + 1];
        size_t here = at;
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                if (!put(value)) {
                    return fail("run past the row", here);
                }
            }
        } else if (value == 0 || value == 1) {
            if (x != width) {
                return fail("row ended at pixel " + std::to_string(x), here);
            }
            if ((value == 1) != (y == 0)) {
                return fail(value == 1 ? "bitmap ended early" : "row end after the last row", here);
            }
            if (value == 1) {
                if (at != code.size()) {
                    return fail("bytes after the end of the bitmap", at);
                }
                return pixels;
            }
            x = 0;
            --y;
        } else if (value == 2) {
            return fail("delta", here);
        } else {
            if (at + value > code.size()) {
                return fail("literal past the end", here);
            }
            for (int i = 0; i < value; ++i) {
                if (!put(code[at++])) {
                    return fail("literal past the row", here);
                }
            }
            if (value % 2 != 0) {
                if (at >= code.size() || code[at] != 0) {
                    return fail("odd literal not padded with a zero", at);
                }
                ++at;
            }
        }
    }
    return fail("no end of bitmap", at);
}
