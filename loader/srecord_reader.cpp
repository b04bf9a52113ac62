#include "loader/srecord_reader.h"

#include <cstring>

namespace {

// The value of every byte as a hexadecimal digit (either case), -1 for anything else: one table
// look-up per digit instead of a library call, since a large image is millions of digits.
struct HexTable {
    int8_t value[256];
    constexpr HexTable() : value() {
        for (int c = 0; c < 256; ++c) {
            value[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                       : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                       : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                              : static_cast<int8_t>(-1);
        }
    }
};
constexpr HexTable kHex;

inline int HexValue(char c) {
    return kHex.value[static_cast<unsigned char>(c)];
}

} // namespace

int ReadHexByte(const char** cursor, uint8_t* byte, uint8_t* sum) {
    int high = HexValue(**cursor);
    if (high < 0) {
        return -1;
    }
    ++*cursor;
    int low = HexValue(**cursor);
    if (low < 0) {
        return -1;
    }
    ++*cursor;
    *byte = static_cast<uint8_t>(high * 16 + low);
    if (sum != nullptr) {
        *sum = static_cast<uint8_t>(*sum + *byte);
    }
    return 0;
}

int ReadRecordAddress(const char** cursor, int n, uint32_t* address, uint8_t* sum) {
    uint32_t value = 0;
    for (int k = 0; k < n; ++k) {
        uint8_t byte = 0;
        if (ReadHexByte(cursor, &byte, sum) != 0) {
            return 1;
        }
        // Shifting the running value keeps the first byte the most significant one.
        value = (value << 8) | byte;
    }
    *address = value;
    return 0;
}

int ReadRecordData(uint8_t* data, const char** cursor, uint8_t n, uint8_t* sum) {
    for (int i = 0; i < n; ++i) {
        if (ReadHexByte(cursor, &data[i], sum) != 0) {
            return 1;
        }
    }
    return 0;
}

int CheckRecordSum(const char** cursor, uint8_t sum) {
    uint8_t stored = 0;
    if (ReadHexByte(cursor, &stored, nullptr) != 0) {
        return 1;
    }
    return stored == static_cast<uint8_t>(~sum) ? 0 : 1;
}

namespace {

// Decodes a line held in a buffer that ends with '\0', digit by digit, so that a line which fails
// leaves exactly the outputs its result promises.
int DecodeTerminated(const char* buffer, uint8_t* data, uint32_t* address, int16_t* length) {
    if (buffer[0] != 'S') {
        return kRecordNotSRecord;
    }
    const char type = buffer[1];
    // A line that ends right after the 'S' must not make the cursor step past its terminator.
    const char* cursor = type == '\0' ? buffer + 1 : buffer + 2;

    uint8_t sum = 0;
    uint8_t count = 0;
    if (ReadHexByte(&cursor, &count, &sum) != 0) {
        return kRecordBadCount;
    }

    switch (type) {
    case '0':
        // The header only names the file; its contents are never used, so they are not checked.
        *length = 0;
        *address = 0;
        return kRecordOk;
    case '7':
    case '8':
    case '9':
        // The start address of an end record is not used: loading ends here.
        *length = 0;
        return kRecordEnd;
    case '5':
    case '6': {
        // A count record holds only its count in the address field; any other byte count makes
        // it something else, which nothing can read.
        const int countBytes = type - '5' + 2;
        if (count != countBytes + 1) {
            return kRecordBadCount;
        }
        *length = 0;
        uint32_t records = 0;
        if (ReadRecordAddress(&cursor, countBytes, &records, &sum) != 0) {
            return kRecordBadAddress;
        }
        if (CheckRecordSum(&cursor, sum) != 0) {
            return kRecordBadChecksum;
        }
        *address = records;
        return kRecordCount;
    }
    case '1':
    case '2':
    case '3': {
        const int addressBytes = type - '0' + 1;
        // A count too small for its address gives a negative length; read as a byte count below
        // it asks for more data than any line holds, so the record fails as bad data.
        const int16_t dataBytes = static_cast<int16_t>(count - addressBytes - 1);
        *length = dataBytes;
        if (ReadRecordAddress(&cursor, addressBytes, address, &sum) != 0) {
            return kRecordBadAddress;
        }
        if (ReadRecordData(data, &cursor, static_cast<uint8_t>(dataBytes), &sum) != 0) {
            return kRecordBadData;
        }
        if (CheckRecordSum(&cursor, sum) != 0) {
            return kRecordBadChecksum;
        }
        return kRecordOk;
    }
    default:
        *length = 0;
        return kRecordUnsupportedType;
    }
}

// Every pair of characters as the byte its two hexadecimal digits spell, or a value with a bit
// above the byte when either is not a digit: a pair decodes with one look-up, and one test of the
// OR of all pairs tells whether any digit of a record was bad. 128 KiB, of which the digits touch
// a few cache lines; built once, at the first use.
constexpr unsigned kBadPair = 0x100;
struct PairTable {
    uint16_t value[256 * 256];
    PairTable() {
        for (int high = 0; high < 256; ++high) {
            for (int low = 0; low < 256; ++low) {
                const int h = kHex.value[high];
                const int l = kHex.value[low];
                value[high << 8 | low] =
                    static_cast<uint16_t>(h < 0 || l < 0 ? kBadPair : h * 16 + l);
            }
        }
    }
};

inline unsigned Pair(const uint16_t* table, const char* p) {
    return table[static_cast<unsigned char>(p[0]) << 8 | static_cast<unsigned char>(p[1])];
}

const uint16_t* PairValues() {
    static const PairTable s_table;
    return s_table.value;
}

// Nearly every line of a file is a data record whose digits are all there and all hexadecimal:
// such a line is decoded without a test per digit. Anything else returns false with the outputs
// untouched, and is decoded digit by digit instead.
bool DecodeWholeDataRecord(const char* line, size_t size, uint8_t* data, uint32_t* address,
                           int16_t* length, int* result) {
    if (size < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3') {
        return false;
    }
    const uint16_t* const pairs = PairValues();
    const unsigned count = Pair(pairs, line + 2);
    const int addressBytes = line[1] - '0' + 1;
    const int dataBytes = static_cast<int>(count) - addressBytes - 1;
    // The count is tested first: a bad one makes it larger than any byte.
    if (count > 0xFF || dataBytes < 0 || size < 4 + 2 * static_cast<size_t>(count)) {
        return false;
    }
    const char* p = line + 4;
    unsigned bad = 0;
    unsigned sum = count;
    uint32_t value = 0;
    for (int k = 0; k < addressBytes; ++k, p += 2) {
        const unsigned byte = Pair(pairs, p);
        bad |= byte;
        sum += byte;
        value = (value << 8) | (byte & 0xFF);
    }
    uint8_t bytes[kRecordDataCapacity];
    for (int i = 0; i < dataBytes; ++i, p += 2) {
        const unsigned byte = Pair(pairs, p);
        bad |= byte;
        sum += byte;
        bytes[i] = static_cast<uint8_t>(byte);
    }
    const unsigned stored = Pair(pairs, p);
    if ((bad | stored) & kBadPair) {
        return false;
    }
    *length = static_cast<int16_t>(dataBytes);
    *address = value;
    std::memcpy(data, bytes, static_cast<size_t>(dataBytes));
    *result = stored == (~sum & 0xFF) ? kRecordOk : kRecordBadChecksum;
    return true;
}

} // namespace

int DecodeSRecord(const char* line, size_t size, uint8_t* data, uint32_t* address, int16_t* length,
                  char* type) {
    int result = 0;
    if (DecodeWholeDataRecord(line, size, data, address, length, &result)) {
        if (type) {
            *type = line[1];
        }
        return result;
    }
    char buffer[kRecordLineChars + 2];
    const size_t kept = size < kRecordLineChars + 1 ? size : kRecordLineChars + 1;
    std::memcpy(buffer, line, kept);
    buffer[kept] = '\0';
    if (type) {
        *type = buffer[0] == 'S' ? buffer[1] : '\0';
    }
    return DecodeTerminated(buffer, data, address, length);
}

int CountLines(FILE* file) {
    // Counting block by block keeps this quick on files of many megabytes; 16 KiB on the stack
    // is safe on every thread this runs on.
    char block[16384];
    int lines = 1;
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        const char* p = block;
        const char* end = block + got;
        while (p < end) {
            const void* hit = std::memchr(p, '\n', static_cast<size_t>(end - p));
            if (hit == nullptr) {
                break;
            }
            ++lines;
            p = static_cast<const char*>(hit) + 1;
        }
    }
    return lines;
}
