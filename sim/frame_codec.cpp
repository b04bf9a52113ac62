#include "sim/frame_codec.h"

#include <cstring>

namespace sim {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool HasTag(std::uint8_t byte, std::uint8_t base) {
    return (byte & ~kAddressMask) == base;
}

void AppendEscaped(std::uint8_t byte, std::vector<std::uint8_t>& out) {
    if (byte == kEscape || byte == kCarriageReturn) {
        out.push_back(kEscape);
    }
    out.push_back(byte);
}

} // namespace

std::uint8_t PayloadChecksum(const std::uint8_t* payload, std::size_t size) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        sum = static_cast<std::uint8_t>(sum + payload[i]);
    }
    return static_cast<std::uint8_t>(0xFF - sum);
}

bool EncodeFrame(const Frame& frame, std::vector<std::uint8_t>& out) {
    if (frame.payload.empty() || frame.payload.size() > kMaxPayload) {
        return false;
    }
    AppendEscaped(frame.source, out);
    AppendEscaped(frame.destination, out);
    AppendEscaped(frame.sequence, out);
    for (std::uint8_t byte : frame.payload) {
        AppendEscaped(byte, out);
    }
    const std::uint8_t sum = PayloadChecksum(frame.payload.data(), frame.payload.size());
    out.push_back(static_cast<std::uint8_t>(kHexDigits[sum >> 4]));
    out.push_back(static_cast<std::uint8_t>(kHexDigits[sum & 0x0F]));
    out.push_back(kCarriageReturn);
    out.push_back(kLineFeed);
    out.push_back(kIdle);
    return true;
}

bool ParseFrame(const std::uint8_t* wire, std::size_t size, Frame& out) {
    // Three header bytes, at least one payload byte and two digits.
    if (size < kHeaderSize + 1 + 2) {
        return false;
    }
    const int high = HexValue(wire[size - 2]);
    const int low = HexValue(wire[size - 1]);
    if (high < 0 || low < 0) {
        return false;
    }
    const std::size_t bodyEnd = size - 2;
    std::uint8_t header[kHeaderSize] = {};
    std::size_t bodyLength = 0;
    out.payload.clear();
    for (std::size_t i = 0; i < bodyEnd; ++i) {
        std::uint8_t byte = wire[i];
        if (byte == kEscape) {
            // An escape right before the digits would swallow the first digit: not a frame here.
            if (++i == bodyEnd) {
                return false;
            }
            byte = wire[i];
        } else if (byte == kCarriageReturn) {
            return false;
        }
        if (bodyLength == kMaxFrameBody) {
            return false;
        }
        if (bodyLength < kHeaderSize) {
            header[bodyLength] = byte;
        } else {
            out.payload.push_back(byte);
        }
        ++bodyLength;
    }
    if (out.payload.empty() || !HasTag(header[0], kSourceBase) ||
        !HasTag(header[1], kDestinationBase) || !HasTag(header[2], kSequenceBase)) {
        return false;
    }
    if (PayloadChecksum(out.payload.data(), out.payload.size()) != high * 16 + low) {
        return false;
    }
    out.source = header[0];
    out.destination = header[1];
    out.sequence = header[2];
    return true;
}

FrameDecoder::FrameDecoder() {
    frame_.payload.reserve(kMaxPayload);
}

void FrameDecoder::Reset() {
    length_ = 0;
    escapePending_ = false;
}

bool FrameDecoder::Push(std::uint8_t byte) {
    // Only a source byte can open a frame; idle fill and stray bytes in between are skipped here
    // rather than kept around until the next carriage return.
    if (length_ == 0 && !HasTag(byte, kSourceBase)) {
        return false;
    }
    if (byte == kCarriageReturn && !escapePending_) {
        const bool found = Resynchronise();
        Reset();
        return found;
    }
    escapePending_ = !escapePending_ && byte == kEscape;
    if (length_ == buffer_.size()) {
        // A frame that ends later cannot start this far back.
        std::memmove(buffer_.data(), buffer_.data() + 1, length_ - 1);
        --length_;
    }
    buffer_[length_++] = byte;
    return false;
}

bool FrameDecoder::Resynchronise() {
    for (std::size_t start = 0; start + kHeaderSize + 3 <= length_; ++start) {
        if (HasTag(buffer_[start], kSourceBase) &&
            ParseFrame(buffer_.data() + start, length_ - start, frame_)) {
            return true;
        }
    }
    return false;
}

} // namespace sim
