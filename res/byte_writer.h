#pragma once
// Appending little-endian fields to a byte buffer, as the Windows file formats store them.

#include <cstddef>
#include <cstdint>
#include <vector>

inline void PutU8(std::vector<uint8_t>* out, unsigned value) {
    out->push_back(static_cast<uint8_t>(value));
}

inline void PutU16(std::vector<uint8_t>* out, unsigned value) {
    PutU8(out, value & 0xFF);
    PutU8(out, (value >> 8) & 0xFF);
}

inline void PutU32(std::vector<uint8_t>* out, uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

// A four-character code, first character first.
inline void PutFourCc(std::vector<uint8_t>* out, const char (&code)[5]) {
    out->insert(out->end(), code, code + 4);
}

// Overwrites the 32-bit field at offset, for sizes known only once what follows is written.
inline void SetU32(std::vector<uint8_t>* out, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        (*out)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}
