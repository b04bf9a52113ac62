// Feeds arbitrary bytes as a file to the S-record reader, line by line and as a whole-file check.

#include "loader/file_check.h"
#include "loader/srecord_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kAddressSentinel = 0xA5A5A5A5;
constexpr int16_t kLengthSentinel = 0x3C3C;
constexpr uint8_t kDataSentinel = 0xC3;
// Room beyond the largest count, to catch a write past it.
constexpr int kDataRoom = kRecordDataCapacity + 64;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) {
        return 0; // fmemopen refuses an empty buffer
    }
    FILE* file = fmemopen(const_cast<uint8_t*>(bytes), size, "r");
    if (file == nullptr) {
        return 0;
    }
    uint8_t data[kDataRoom];
    for (int calls = 0;; ++calls) {
        // Every call consumes at least one byte, so the loop ends within size + 1 calls.
        Require(calls <= static_cast<int>(size));
        std::memset(data, kDataSentinel, sizeof data);
        uint32_t address = kAddressSentinel;
        int16_t length = kLengthSentinel;
        const int result = ReadSRecord(data, file, &address, &length);
        if (result == kRecordNoLine) {
            Require(length == kLengthSentinel && address == kAddressSentinel);
            break;
        }
        switch (result) {
        case kRecordNotSRecord:
        case kRecordBadCount:
            Require(length == kLengthSentinel && address == kAddressSentinel);
            break;
        case kRecordEnd:
        case kRecordUnsupportedType:
            Require(length == 0 && address == kAddressSentinel);
            break;
        case kRecordBadAddress:
            // A data record's length: count 0..255 less 3..5.
            Require(length >= -5 && length <= 252 && address == kAddressSentinel);
            break;
        case kRecordOk:
        case kRecordBadData:
        case kRecordBadChecksum:
            Require(length >= -5 && length <= 252);
            break;
        default:
            std::abort();
        }
        if (result == kRecordOk) {
            // Header: length 0 and address 0. Data record: 'S', type, count, at least two
            // address bytes, the data and the checksum fit in one piece of a line.
            Require(length >= 0 && 6 + 4 + 2 * length <= kRecordLineChars);
        }
        // Data bytes land only within the count announced: never beyond (uint8_t)length.
        const int written =
            result == kRecordOk || result == kRecordBadData || result == kRecordBadChecksum
                ? static_cast<uint8_t>(length)
                : 0;
        for (int i = written; i < kDataRoom; ++i) {
            Require(data[i] == kDataSentinel);
        }
    }

    CFileCheck check;
    const int result = CheckSRecordFile(file, &check);
    Require(result == check.result && std::ftell(file) == 0);
    if (result == 0) {
        Require(check.line == 0 && check.lines >= 1);
        Require(check.dataBytes <= 252ull * static_cast<unsigned>(check.dataRecords));
        Require(check.dataBytes == 0 || check.lowestAddress <= check.highestAddress);
    } else {
        Require(check.line >= 1 && !FileCheckMessage(check).empty());
        Require(check.line == (result == kRecordNoLine ? check.lines + 1 : check.lines));
    }
    std::fclose(file);
    return 0;
}
