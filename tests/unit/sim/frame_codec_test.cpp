// The device's frame encoder and decoder against hand-written wire bytes.

#include "sim/frame_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

sim::Frame MakeFrame(std::uint8_t source, std::uint8_t destination, std::uint8_t sequence,
                     const Bytes& payload) {
    sim::Frame frame;
    frame.source = source;
    frame.destination = destination;
    frame.sequence = sequence;
    frame.payload = payload;
    return frame;
}

Bytes Encode(const sim::Frame& frame) {
    Bytes wire;
    EXPECT_TRUE(sim::EncodeFrame(frame, wire));
    return wire;
}

std::vector<sim::Frame> DecodeAll(const Bytes& stream) {
    sim::FrameDecoder decoder;
    std::vector<sim::Frame> frames;
    for (std::uint8_t byte : stream) {
        if (decoder.Push(byte)) {
            frames.push_back(decoder.Current());
        }
    }
    return frames;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kProbeRequest = {0x7C, 0x80, 0xC1, 0x21, 0x44, 0x39, 0x41, 0x0D, 0x0A, 0xFF};
const Bytes kProbeReply = {0x40, 0xBC, 0xC1, 0x3A, 0x44, 0x4F, 0x4B, 0x45, 0x37, 0x0D, 0x0A, 0xFF};
const Bytes kEraseRequest = {0x7C, 0x80, 0xC2, 0x21, 0x45, 0x1B,
                             0x0D, 0x38, 0x43, 0x0D, 0x0A, 0xFF};

TEST(FrameEncode, KnownFramesByteExact) {
    EXPECT_EQ(Encode(MakeFrame(0x7C, 0x80, 0xC1, {'!', 'D'})), kProbeRequest);
    EXPECT_EQ(Encode(MakeFrame(0x40, 0xBC, 0xC1, {':', 'D', 'O', 'K'})), kProbeReply);
    EXPECT_EQ(Encode(MakeFrame(0x7C, 0x80, 0xC2, {'!', 'E', 0x0D})), kEraseRequest);
    // The escape byte is doubled on the wire but summed once: 0xFF - (0x21 + 0x1B) = 0xC3.
    EXPECT_EQ(Encode(MakeFrame(0x7C, 0x80, 0xC3, {0x21, 0x1B})),
              (Bytes{0x7C, 0x80, 0xC3, 0x21, 0x1B, 0x1B, 'C', '3', 0x0D, 0x0A, 0xFF}));
}

TEST(FrameDecode, EscapedCarriageReturnStaysInPayload) {
    const auto frames = DecodeAll(kEraseRequest);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].sequence, 0xC2);
    EXPECT_EQ(frames[0].payload, (Bytes{'!', 'E', 0x0D}));
}

TEST(FrameDecode, SkipsNoiseHalfFramesAndTrailers) {
    // Junk with a lone carriage return, a frame cut off before its terminator, then two frames
    // back to back with their trailers.
    const Bytes noise = {0x00, 0x55, 0x0D, 0x0A, 0xFF, 0x7C, 0x80, 0xC1, 0x21};
    const auto frames = DecodeAll(Join(Join(noise, kProbeRequest), kProbeReply));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].source, 0x7C);
    EXPECT_EQ(frames[0].destination, 0x80);
    EXPECT_EQ(frames[0].payload, (Bytes{'!', 'D'}));
    EXPECT_EQ(frames[1].source, 0x40);
    EXPECT_EQ(frames[1].destination, 0xBC);
    EXPECT_EQ(frames[1].payload, (Bytes{':', 'D', 'O', 'K'}));
}

TEST(FrameDecode, DigitsAcceptedInEitherCaseButMustBeHexAndMatch) {
    Bytes lower = kProbeRequest;
    lower[6] = 'a';
    EXPECT_EQ(DecodeAll(lower).size(), 1u);
    // A bad digit, a wrong sum, a header byte without its field tag: none of them parses, and
    // none keeps the next good frame from being found.
    for (auto [index, value] : {std::pair<int, int>{6, 'G'}, {6, 'B'}, {1, 0xC0}}) {
        Bytes bad = kProbeRequest;
        bad[index] = static_cast<std::uint8_t>(value);
        const auto frames = DecodeAll(Join(bad, kProbeReply));
        ASSERT_EQ(frames.size(), 1u) << "byte " << index;
        EXPECT_EQ(frames[0].source, 0x40);
    }
}

TEST(FrameDecode, EveryByteValueSurvivesARoundTrip) {
    Bytes stream;
    std::vector<Bytes> payloads;
    for (int first = 0; first < 256; first += 64) {
        Bytes payload;
        for (int value = first; value < first + 64; ++value) {
            payload.push_back(static_cast<std::uint8_t>(value));
        }
        payloads.push_back(payload);
        stream = Join(stream, Encode(MakeFrame(0x7C, 0x80, 0xC5, payload)));
    }
    const auto frames = DecodeAll(stream);
    ASSERT_EQ(frames.size(), payloads.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].payload, payloads[i]) << "frame " << i;
    }
}

TEST(FrameCodec, LongestFrameFitsAndLongerIsRefused) {
    Bytes wire;
    EXPECT_FALSE(sim::EncodeFrame(MakeFrame(0x7C, 0x80, 0xC1, {}), wire));
    EXPECT_FALSE(sim::EncodeFrame(MakeFrame(0x7C, 0x80, 0xC1, Bytes(sim::kMaxPayload + 1)), wire));
    const Bytes longest = Encode(MakeFrame(0x7C, 0x80, 0xC1, Bytes(sim::kMaxPayload, 0x0D)));
    const auto frames = DecodeAll(longest);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].payload.size(), sim::kMaxPayload);

    // Two more payload bytes before the digits: the sum still matches (0x0D + 0xF3 wraps to 0),
    // but the frame is now longer than any may be.
    Bytes tooLong(longest.begin(), longest.end() - 5);
    tooLong.insert(tooLong.end(), {0x1B, 0x0D, 0xF3});
    tooLong.insert(tooLong.end(), longest.end() - 5, longest.end());
    EXPECT_TRUE(DecodeAll(tooLong).empty());
    sim::Frame frame;
    EXPECT_FALSE(sim::ParseFrame(tooLong.data(), tooLong.size() - 3, frame));
}

} // namespace
