// The icon and the search clip as Windows itself reads them: the resources compiled into the
// program are the encoders' files, Windows' own run-length decoder gives back every frame as
// drawn, and the icon draws with its colours and its transparent pixels at both sizes.

#include "res/rle8.h"
#include "res/search_animation_frames.h"
#include "res/tovik_icon.h"
#include "res/windows_pictures.h"
#include "ui/win32/resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Resource(int id, const char* type) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
    if (!found) {
        return {};
    }
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    return std::vector<uint8_t>(data, data + SizeofResource(nullptr, found));
}

// A 32-bit top-down bitmap to read pixels back from, on a memory device context.
struct Canvas {
    int width, height;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* pixels = nullptr;

    Canvas(int w, int h, uint32_t fill) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t*>(bits);
        old = SelectObject(dc, bitmap);
        for (int i = 0; i < w * h; ++i) {
            pixels[i] = fill;
        }
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    uint32_t At(int x, int y) const { return pixels[y * width + x] & 0xFFFFFF; }
};

uint32_t Rgb(CRgba c) {
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

TEST(PicturesOnWindows, CompiledResourcesAreTheEncodedFiles) {
    EXPECT_EQ(Resource(IDR_SEARCH_AVI, "AVI"), SearchAviFile());
    // The icon file is split into one resource per image and a directory of them.
    EXPECT_EQ(Resource(IDR_MAINFRAME, MAKEINTRESOURCEA(14)).size(), 6u + 2 * 14); // RT_GROUP_ICON
}

TEST(PicturesOnWindows, WindowsDecodesEveryClipFrameAsDrawn) {
    std::vector<CRgba> palette = FlattenPalette(SearchAnimationPalette(), kWindowsDialogFace);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = kSearchFrameWidth;
    info.header.biHeight = kSearchFrameHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RLE8;
    for (size_t i = 0; i < palette.size(); ++i) {
        info.colours[i] = {palette[i].b, palette[i].g, palette[i].r, 0};
    }
    for (int f = 0; f < kSearchFrames; ++f) {
        CPixelImage frame = SearchAnimationFrame(f);
        std::vector<uint8_t> code = EncodeRle8(frame.m_pixels, frame.m_nWidth, frame.m_nHeight);
        info.header.biSizeImage = static_cast<DWORD>(code.size());
        Canvas canvas(frame.m_nWidth, frame.m_nHeight, 0xFF00FF);
        ASSERT_EQ(SetDIBits(canvas.dc, canvas.bitmap, 0, frame.m_nHeight, code.data(),
                            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS),
                  frame.m_nHeight);
        for (int y = 0; y < frame.m_nHeight; ++y) {
            for (int x = 0; x < frame.m_nWidth; ++x) {
                ASSERT_EQ(canvas.At(x, y), Rgb(palette[frame.At(x, y)]))
                    << "frame " << f << " at " << x << "," << y;
            }
        }
    }
}

TEST(PicturesOnWindows, IconDrawsAsDrawnAtBothSizes) {
    const uint32_t kBehind = 0xFF00FF;
    for (const CPixelImage& image : TovikIconImages()) {
        int side = image.m_nWidth;
        HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
                                                   MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                   side, side, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << side;
        Canvas canvas(side, side, kBehind);
        ASSERT_TRUE(DrawIconEx(canvas.dc, 0, 0, icon, side, side, 0, nullptr, DI_NORMAL));
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                CRgba c = image.ColourAt(x, y);
                ASSERT_EQ(canvas.At(x, y), c.a == 0 ? kBehind : Rgb(c))
                    << side << " at " << x << "," << y;
            }
        }
        DestroyIcon(icon);
    }
}

} // namespace
