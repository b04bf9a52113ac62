#include "sim/line_noise.h"

namespace sim {

namespace {

std::uint32_t NextRandom(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

} // namespace

void AppendLineNoise(const Frame& reply, std::uint32_t& state, std::vector<std::uint8_t>& out) {
    const std::size_t junkLength = 4 + NextRandom(state) % 8;
    for (std::size_t i = 0; i < junkLength; ++i) {
        auto byte = static_cast<std::uint8_t>(NextRandom(state));
        // Keep junk from looking like a source byte, so it can never pass as the start of a frame
        // however the bytes after it line up.
        if ((byte & ~kAddressMask) == kSourceBase) {
            byte ^= 0x80;
        }
        out.push_back(byte);
    }

    Frame foreign = reply;
    foreign.source = static_cast<std::uint8_t>(kSourceBase | ((reply.source + 1) & kAddressMask));
    EncodeFrame(foreign, out);

    foreign = reply;
    foreign.destination = static_cast<std::uint8_t>(reply.destination ^ 0x01);
    EncodeFrame(foreign, out);

    foreign = reply;
    foreign.sequence =
        static_cast<std::uint8_t>(kSequenceBase | ((reply.sequence + kAddressMask) & kAddressMask));
    EncodeFrame(foreign, out);
}

} // namespace sim
