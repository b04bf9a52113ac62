#include "res/pixel_image.h"

namespace {

uint8_t Mix(uint8_t top, uint8_t bottom, uint8_t alpha) {
    return static_cast<uint8_t>((top * alpha + bottom * (255 - alpha) + 127) / 255);
}

} // namespace

CRgba OverBackground(CRgba colour, CRgba background) {
    return {Mix(colour.r, background.r, colour.a), Mix(colour.g, background.g, colour.a),
            Mix(colour.b, background.b, colour.a), 255};
}

std::vector<CRgba> FlattenPalette(const std::vector<CRgba>& palette, CRgba background) {
    std::vector<CRgba> flat;
    flat.reserve(palette.size());
    for (const CRgba& colour : palette) {
        flat.push_back(OverBackground(colour, background));
    }
    return flat;
}
