#pragma once
// The byte-level rules of a frame, as plain functions that tests can call without a line.
//
// On the wire: source, destination and sequence header bytes, the payload, the checksum as two
// hexadecimal digits and the terminator 0D 0A FF. In the header and payload every ESC (1B) and
// CR (0D) is preceded by an ESC. The checksum is the one's complement of the 8-bit sum of the
// payload; the header is not summed.

#include <cstdint>

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kTerminator[3] = {0x0D, 0x0A, 0xFF};

// Header byte marks in the top two bits.
constexpr uint8_t kSourceMark = 0x40;
constexpr uint8_t kDestinationMark = 0x80;
constexpr uint8_t kSequenceMark = 0xC0;
constexpr uint8_t kMarkMask = 0xC0;
constexpr uint8_t kAddressMask = 0x3F;

inline bool NeedsEscape(uint8_t byte) {
    return byte == kEsc || byte == kCr;
}

// The checksum byte of a payload.
uint8_t PayloadChecksum(const uint8_t* payload, int length);

// The upper-case hexadecimal digit of the low 4 bits of value.
inline uint8_t HexDigit(int value) {
    return static_cast<uint8_t>("0123456789ABCDEF"[value & 0xF]);
}

// The value of a hexadecimal digit of either case; any other byte gives 0 and sets *error to -1
// (when error is not null). A valid digit leaves *error untouched.
int HexDigitValue(uint8_t c, int* error);

// Writes the wire image of header + payload (frame[0..length-1]) to out, which needs room for
// 2 * length + 5 bytes; returns the number of bytes written.
int EncodeFrame(const uint8_t* frame, int length, uint8_t* out);

// Whether the last two bytes of rx[0..length-1] are valid digits of the checksum of the payload
// rx[3..length-3], where rx holds a received frame without its CR.
bool ReceivedChecksumMatches(const uint8_t* rx, int length);
