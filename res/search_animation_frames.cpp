#include "res/search_animation_frames.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The palette. The scene's colours come first, in the same order as their versions seen through
// the glass, so that the glass maps a scene colour c to kGlassOver + c.
enum : uint8_t {
    kBackground,
    kBody,
    kBodyEdge,
    kBodyLight,
    kPin,
    kPinEdge,
    kFoundPin,
    kFoundPinEdge,
    kSceneColours,
    kRim = kSceneColours,
    kRimLight,
    kGlint,
    kHandle,
    kHandleEdge,
    kGlassOver,
    kPaletteSize = kGlassOver + kSceneColours,
    kNothing = kPaletteSize // where a layer leaves the pixel to the layers below
};

const CRgba kSceneRgba[kSceneColours] = {
    {0x00, 0x00, 0x00, 0x00}, {0x32, 0x3E, 0x4D}, {0x18, 0x20, 0x2B}, {0x4D, 0x5D, 0x72},
    {0xC4, 0xCB, 0xD3},       {0x7E, 0x88, 0x94}, {0xF2, 0xB3, 0x3D}, {0xA8, 0x6E, 0x10},
};
const CRgba kRimRgba{0x2B, 0x34, 0x40};
const CRgba kRimLightRgba{0x9A, 0xA7, 0xB5};
const CRgba kGlintRgba{0xF4, 0xF8, 0xFC};
const CRgba kHandleRgba{0x6B, 0x43, 0x24};
const CRgba kHandleEdgeRgba{0x3A, 0x24, 0x14};
const CRgba kGlassTint{0xBE, 0xE1, 0xFF, 0x48};

// The scene, in frame pixels: a chip lying across the frame with a row of pins on each side.
// Coordinates are those of pixel centres; a rectangle's outline is one pixel wide and lies on the
// pixels of its edges.
constexpr double kBodyLeft = 8, kBodyTop = 24, kBodyWidth = 64, kBodyHeight = 14;
constexpr double kBodyRadius = 2;
constexpr int kPins = 9;
constexpr double kFirstPinLeft = 11, kPinPitch = 7, kPinWidth = 3;
constexpr double kTopPinsTop = 17, kBottomPinsBottom = 44;

// The magnifier rides along the upper pins.
constexpr double kLensRadius = 11;
constexpr double kLensSwing = 22;
constexpr double kMagnification = 1.8;

struct Point {
    double x;
    double y;
};

Point LensAt(int frame) {
    double turn = 2 * kPi * frame / kSearchFrames;
    // A slight bob on top of the sweep, so the glass does not move like a ruler. On whole pixels,
    // so that the ring has the same shape in every frame.
    return {std::round(kBodyLeft + kBodyWidth / 2 + kLensSwing * std::sin(turn)),
            std::round(kTopPinsTop + 3 + 1.5 * std::sin(2 * turn))};
}

double PinCentre(int pin) {
    return kFirstPinLeft + pin * kPinPitch + kPinWidth / 2;
}

// The pin the glass is over, or -1 between pins.
int FoundPin(Point lens) {
    for (int pin = 0; pin < kPins; ++pin) {
        if (std::fabs(PinCentre(pin) - lens.x) < kPinPitch / 2 - 0.5) {
            return pin;
        }
    }
    return -1;
}

// std::sqrt rather than std::hypot: it is correctly rounded on every platform, so that the build
// machine, which encodes the Windows clip, and every window draw the very same pixels.
double Length(double x, double y) {
    return std::sqrt(x * x + y * y);
}

// Signed distance from p to the rounded box around centre c with half sizes hx, hy and corner
// radius r: negative inside.
double BoxDistance(Point p, Point c, double hx, double hy, double r) {
    double qx = std::fabs(p.x - c.x) - (hx - r);
    double qy = std::fabs(p.y - c.y) - (hy - r);
    double outside = Length(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - r;
}

// The outlined rectangle whose edges lie on the pixels left .. left + width, top .. top +
// height: its edge or fill colour there, kNothing outside.
uint8_t OutlinedBox(Point p, double left, double top, double width, double height, double radius,
                    uint8_t edge, uint8_t fill) {
    Point centre{left + width / 2, top + height / 2};
    double d = BoxDistance(p, centre, width / 2 + 0.5, height / 2 + 0.5, radius + 0.5);
    if (d > 0) {
        return kNothing;
    }
    return d > -1 ? edge : fill;
}

// The chip at p: pins first, the body over their inner ends, the marks on the body.
uint8_t ChipAt(Point p, int foundPin) {
    Point notch{kBodyLeft, kBodyTop + kBodyHeight / 2};
    if (p.x >= kBodyLeft && Length(p.x - notch.x, p.y - notch.y) <= 3) {
        return kBodyEdge;
    }
    if (Length(p.x - (kBodyLeft + 4), p.y - (kBodyTop + kBodyHeight - 5)) <= 1.2) {
        return kBodyLight; // pin 1's mark
    }
    if (p.y >= kBodyTop + 0.5 && p.y < kBodyTop + 1.5 && p.x >= kBodyLeft + 2 &&
        p.x <= kBodyLeft + kBodyWidth - 2) {
        return kBodyLight; // the light along the top edge
    }
    uint8_t body =
        OutlinedBox(p, kBodyLeft, kBodyTop, kBodyWidth, kBodyHeight, kBodyRadius, kBodyEdge, kBody);
    if (body != kNothing) {
        return body;
    }
    for (int pin = 0; pin < kPins; ++pin) {
        double left = kFirstPinLeft + pin * kPinPitch;
        bool found = pin == foundPin;
        uint8_t top = OutlinedBox(p, left, kTopPinsTop, kPinWidth, kBodyTop - kTopPinsTop + 1, 0,
                                  found ? kFoundPinEdge : kPinEdge, found ? kFoundPin : kPin);
        if (top != kNothing) {
            return top;
        }
        double bottomTop = kBodyTop + kBodyHeight - 1;
        uint8_t bottom = OutlinedBox(p, left, bottomTop, kPinWidth, kBottomPinsBottom - bottomTop,
                                     0, kPinEdge, kPin);
        if (bottom != kNothing) {
            return bottom;
        }
    }
    return kBackground;
}

// The magnifier over the chip at p: rim, the glass showing the chip larger, the handle below
// the glass; kNothing where the magnifier does not reach.
uint8_t MagnifierAt(Point p, Point lens, int foundPin) {
    double dx = p.x - lens.x, dy = p.y - lens.y;
    double d = Length(dx, dy);
    // The outer edge stays inside a whole pixel's distance, so the ring has no single pixels
    // standing out at the top, bottom and sides.
    if (d >= kLensRadius - 1.2 && d < kLensRadius + 0.9) {
        return kRim;
    }
    if (d >= kLensRadius - 2.1 && d < kLensRadius) {
        return kRimLight;
    }
    if (d < kLensRadius) {
        double angle = std::atan2(dy, dx); // screen coordinates: up is negative
        if (std::fabs(d - (kLensRadius - 3.5)) <= 0.75 && angle >= -0.9 * kPi &&
            angle <= -0.6 * kPi) {
            return kGlint;
        }
        Point seen{lens.x + dx / kMagnification, lens.y + dy / kMagnification};
        return static_cast<uint8_t>(kGlassOver + ChipAt(seen, foundPin));
    }
    // The handle leaves the rim towards the lower right.
    double along = (dx + dy) / std::sqrt(2.0), across = (dx - dy) / std::sqrt(2.0);
    double from = kLensRadius + 1, to = kLensRadius + 10, halfWidth = 2.2;
    double h = BoxDistance({along, across}, {(from + to) / 2, 0}, (to - from) / 2, halfWidth, 0);
    if (h <= 0.5) {
        return h > -0.5 ? kHandleEdge : kHandle;
    }
    return kNothing;
}

} // namespace

std::vector<CRgba> SearchAnimationPalette() {
    std::vector<CRgba> palette(kPaletteSize);
    for (int c = 0; c < kSceneColours; ++c) {
        palette[c] = kSceneRgba[c];
        // Over the background the glass stays see-through; over the chip it tints what it shows.
        palette[kGlassOver + c] =
            c == kBackground ? kGlassTint : OverBackground(kGlassTint, kSceneRgba[c]);
    }
    palette[kRim] = kRimRgba;
    palette[kRimLight] = kRimLightRgba;
    palette[kGlint] = kGlintRgba;
    palette[kHandle] = kHandleRgba;
    palette[kHandleEdge] = kHandleEdgeRgba;
    return palette;
}

CPixelImage SearchAnimationFrame(int frame) {
    frame = ((frame % kSearchFrames) + kSearchFrames) % kSearchFrames;
    Point lens = LensAt(frame);
    int found = FoundPin(lens);
    CPixelImage image;
    image.m_nWidth = kSearchFrameWidth;
    image.m_nHeight = kSearchFrameHeight;
    image.m_palette = SearchAnimationPalette();
    image.m_pixels.reserve(size_t(kSearchFrameWidth) * kSearchFrameHeight);
    for (int y = 0; y < kSearchFrameHeight; ++y) {
        for (int x = 0; x < kSearchFrameWidth; ++x) {
            Point p{double(x), double(y)};
            uint8_t index = MagnifierAt(p, lens, found);
            image.m_pixels.push_back(index == kNothing ? ChipAt(p, found) : index);
        }
    }
    return image;
}

std::vector<CPixelImage> SearchAnimationFrames() {
    std::vector<CPixelImage> frames;
    for (int frame = 0; frame < kSearchFrames; ++frame) {
        frames.push_back(SearchAnimationFrame(frame));
    }
    return frames;
}
