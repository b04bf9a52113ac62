#pragma once
// The device's own view of the wire: frames to bytes and bytes back to frames. No I/O here, so the
// same code serves the device thread and the tests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kIdle = 0xFF;

// Address bases: the top two bits of a header byte tell which header field it is.
constexpr std::uint8_t kSourceBase = 0x40;
constexpr std::uint8_t kDestinationBase = 0x80;
constexpr std::uint8_t kSequenceBase = 0xC0;
constexpr std::uint8_t kAddressMask = 0x3F;

// Header and payload together, before escaping.
constexpr std::size_t kMaxFrameBody = 255;
constexpr std::size_t kHeaderSize = 3;
constexpr std::size_t kMaxPayload = kMaxFrameBody - kHeaderSize;
// Longest run of wire bytes before the terminator: every payload byte escaped, plus the digits.
constexpr std::size_t kMaxWireFrame = kHeaderSize + 2 * kMaxPayload + 2;

struct Frame {
    std::uint8_t source = kSourceBase;
    std::uint8_t destination = kDestinationBase;
    std::uint8_t sequence = kSequenceBase;
    std::vector<std::uint8_t> payload;
};

// 0xFF minus the byte sum of the payload; the header is not covered.
std::uint8_t PayloadChecksum(const std::uint8_t* payload, std::size_t size);

// Appends the frame's wire bytes, terminator included. False (nothing appended) when the payload is
// empty or the frame would be too long.
bool EncodeFrame(const Frame& frame, std::vector<std::uint8_t>& out);

// Reads one frame from the wire bytes that came before an unescaped carriage return. The header
// bytes must carry their field tags and the checksum must match.
bool ParseFrame(const std::uint8_t* wire, std::size_t size, Frame& out);

// Finds frames in a byte stream that may carry noise, half frames and idle fill. At every
// unescaped carriage return it tries the buffered bytes as a frame, dropping leading bytes until
// one parses; whatever does not parse is thrown away.
class FrameDecoder {
public:
    FrameDecoder();

    // True when this byte completed a frame, which Current() then holds until the next Push.
    bool Push(std::uint8_t byte);
    const Frame& Current() const { return frame_; }
    void Reset();

private:
    bool Resynchronise();

    std::array<std::uint8_t, kMaxWireFrame> buffer_{};
    std::size_t length_ = 0;
    bool escapePending_ = false;
    Frame frame_;
};

} // namespace sim
