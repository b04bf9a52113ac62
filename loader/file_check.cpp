#include "loader/file_check.h"

#include "loader/srecord_reader.h"

#include <algorithm>

int CheckSRecordFile(FILE* file, CFileCheck* check) {
    *check = CFileCheck();
    std::rewind(file);
    uint8_t data[kRecordDataCapacity];
    for (;;) {
        uint32_t address = 0;
        int16_t length = 0;
        const int result = ReadSRecord(data, file, &address, &length);
        if (result == kRecordNoLine) {
            check->result = kRecordNoLine;
            check->line = check->lines + 1;
            break;
        }
        ++check->lines;
        if (result == kRecordEnd) {
            break;
        }
        if (result != kRecordOk) {
            check->result = result;
            check->line = check->lines;
            break;
        }
        // A header reads as length 0; only data records carry bytes.
        if (length > 0) {
            // A record running past the top of the 32-bit address space has no address for its
            // last bytes; the range then ends at the top.
            const uint64_t last =
                static_cast<uint64_t>(address) + static_cast<uint64_t>(length) - 1;
            const uint32_t highest = static_cast<uint32_t>(std::min<uint64_t>(last, UINT32_MAX));
            if (check->dataBytes == 0) {
                check->lowestAddress = address;
                check->highestAddress = highest;
            } else {
                check->lowestAddress = std::min(check->lowestAddress, address);
                check->highestAddress = std::max(check->highestAddress, highest);
            }
            check->dataBytes += static_cast<uint64_t>(length);
            ++check->dataRecords;
        }
    }
    std::rewind(file);
    return check->result;
}

std::string FileCheckMessage(const CFileCheck& check) {
    const char* what = nullptr;
    switch (check.result) {
    case kRecordOk:
        return std::string();
    case kRecordNoLine:
        return "Sorry, the file ends without an end record !";
    case kRecordBadAddress:
        what = "has a bad address";
        break;
    case kRecordBadChecksum:
        what = "has a wrong checksum";
        break;
    case kRecordNotSRecord:
        what = "is not an S-record";
        break;
    case kRecordUnsupportedType:
        what = "has an unsupported record type";
        break;
    case kRecordBadCount:
        what = "has a bad byte count";
        break;
    case kRecordBadData:
        what = "has bad data";
        break;
    default:
        what = "cannot be read";
        break;
    }
    return "Sorry, line " + std::to_string(check.line) + " of the file " + what + " !";
}
