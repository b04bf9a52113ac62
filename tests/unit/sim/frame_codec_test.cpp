// The device's frame encoder and decoder against hand-written wire bytes.

#include "sim/frame_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A frame as its three header bytes followed by its payload, so a mismatch prints readably.
Bytes Flat(const sim::Frame& frame) {
    Bytes flat = {frame.source, frame.destination, frame.sequence};
    flat.insert(flat.end(), frame.payload.begin(), frame.payload.end());
    return flat;
}

sim::Frame Unflat(const Bytes& flat) {
    return sim::Frame{flat[0], flat[1], flat[2], Bytes(flat.begin() + 3, flat.end())};
}

std::vector<Bytes> DecodeAll(const Bytes& stream) {
    sim::FrameDecoder decoder;
    std::vector<Bytes> frames;
    for (std::uint8_t byte : stream) {
        if (decoder.Push(byte)) {
            frames.push_back(Flat(decoder.Current()));
        }
    }
    return frames;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes With(Bytes bytes, std::size_t index, std::uint8_t value) {
    bytes[index] = value;
    return bytes;
}

// The longest frame: every payload byte a carriage return, so every one is escaped. Its sum
// digits stay right with one more payload pair 0x0D, 0xF3 (wrapping to 0), which makes it too long.
Bytes LongWire(bool tooLong) {
    Bytes wire = {0x7C, 0x80, 0xC1};
    for (std::size_t i = 0; i < sim::kMaxPayload; ++i) {
        wire.insert(wire.end(), {0x1B, 0x0D});
    }
    if (tooLong) {
        wire.insert(wire.end(), {0x1B, 0x0D, 0xF3});
    }
    return Join(wire, {'3', '3', 0x0D, 0x0A, 0xFF});
}

const Bytes kRequest = {0x7C, 0x80, 0xC1, 0x21, 0x44, 0x39, 0x41, 0x0D, 0x0A, 0xFF};
const Bytes kReply = {0x40, 0xBC, 0xC1, 0x3A, 0x44, 0x4F, 0x4B, 0x45, 0x37, 0x0D, 0x0A, 0xFF};
const Bytes kRequestFrame = {0x7C, 0x80, 0xC1, '!', 'D'};
const Bytes kReplyFrame = {0x40, 0xBC, 0xC1, ':', 'D', 'O', 'K'};
// Junk with a lone carriage return, then a frame cut off before its terminator.
const Bytes kNoise = {0x00, 0x55, 0x0D, 0x0A, 0xFF, 0x7C, 0x80, 0xC1, 0x21};

struct CodecCase {
    const char* name;
    Bytes wire;
    std::vector<Bytes> frames; // what the decoder finds in `wire`
    bool encodes;              // encoding the one frame gives exactly `wire`
};

TEST(FrameCodec, WireBytesAndTheFramesInThem) {
    const CodecCase cases[] = {
        {"request", kRequest, {kRequestFrame}, true},
        {"reply", kReply, {kReplyFrame}, true},
        // Escaped bytes are doubled on the wire but summed once: 0xFF - (0x21 + 0x45 + 0x0D).
        {"escaped CR",
         {0x7C, 0x80, 0xC2, 0x21, 0x45, 0x1B, 0x0D, '8', 'C', 0x0D, 0x0A, 0xFF},
         {{0x7C, 0x80, 0xC2, '!', 'E', 0x0D}},
         true},
        {"escaped escape",
         {0x7C, 0x80, 0xC3, 0x21, 0x1B, 0x1B, 'C', '3', 0x0D, 0x0A, 0xFF},
         {{0x7C, 0x80, 0xC3, 0x21, 0x1B}},
         true},
        {"longest",
         LongWire(false),
         {Join({0x7C, 0x80, 0xC1}, Bytes(sim::kMaxPayload, 0x0D))},
         true},
        {"too long", LongWire(true), {}, false},
        {"resync past noise",
         Join(Join(kNoise, kRequest), kReply),
         {kRequestFrame, kReplyFrame},
         false},
        {"lower-case digit", With(kRequest, 6, 'a'), {kRequestFrame}, false},
        // Refused frames, each followed by a good one that must still be found. ':' follows '9'
        // and would read as ten, the right value, were the digit range off by one.
        {"bad digit", Join(With(kRequest, 6, ':'), kReply), {kReplyFrame}, false},
        {"wrong sum", Join(With(kRequest, 6, 'B'), kReply), {kReplyFrame}, false},
        {"untagged header", Join(With(kRequest, 1, 0xC0), kReply), {kReplyFrame}, false},
    };
    for (const CodecCase& c : cases) {
        EXPECT_EQ(DecodeAll(c.wire), c.frames) << c.name;
        if (c.encodes) {
            Bytes wire;
            EXPECT_TRUE(sim::EncodeFrame(Unflat(c.frames.at(0)), wire)) << c.name;
            EXPECT_EQ(wire, c.wire) << c.name;
        }
    }
    // The decoder loses a too-long frame's start anyway; the parser must refuse it on its own.
    const Bytes tooLong = LongWire(true);
    sim::Frame frame;
    EXPECT_FALSE(sim::ParseFrame(tooLong.data(), tooLong.size() - 3, frame));
    Bytes wire;
    EXPECT_FALSE(sim::EncodeFrame(sim::Frame{}, wire)); // no payload
    EXPECT_FALSE(sim::EncodeFrame(Unflat(Join(kRequestFrame, Bytes(sim::kMaxPayload - 1))), wire));
    EXPECT_TRUE(wire.empty());
}

} // namespace
